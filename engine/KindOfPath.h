// What a path names, as far as opening it for media is concerned. Named pipes, sockets and
// devices are never opened: reading a pipe with no writer, or writing one with no reader, waits
// for ever. Any thread.
#pragma once

#include <string>

// What stat finds at a path; a symbolic link counts as what it points to.
enum class PathKind
{
    Missing,     // nothing there, or nothing that may be looked at
    RegularFile, // a file that can be read and written as media
    Folder,
    Other, // a named pipe, a socket or a device
};

// Looks at the path without opening it.
PathKind KindOfPath(const std::string& path);

// The engine's message for a path that is not a regular file: "Not a regular file (\"PATH\")".
std::string NotRegularFileText(const std::string& path);
