# The Debian package, made with "cpack -G DEB" in a build folder (scripts/package.sh does it).
# Its dependencies come from dpkg-shlibdeps, which reads every program and library in the
# package; only what the programs load by name at run time is listed here, since no linker
# record shows it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillet)
set(CPACK_PACKAGE_VENDOR "Quillet developers")
set(CPACK_PACKAGE_CONTACT "Quillet developers <quillet@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop audio recorder into Windows Media Audio files")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillet records sound from a capture device and one of its input lines into a Windows Media\n"
  "Audio file with the encoding profile you choose. It draws the incoming signal while it\n"
  "records, shows the clip's length and size, can stop at a size limit, plays the finished\n"
  "clip, opens it in the desktop's player, sends it by e-mail and labels it with a title,\n"
  "author, rating, copyright and description. quillet-cli does the same from a shell.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/quillet/quillet)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt draws the SVG pictures of the window through its image and icon plug-ins, loaded by name.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The clip hand-off uses xdg-email and xdg-mime; recording needs a sound server, PulseAudio or
# PipeWire's PulseAudio service.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, pulseaudio | pipewire-pulse")

include(CPack)
