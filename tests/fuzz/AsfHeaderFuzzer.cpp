// A libFuzzer target for the paths that read an ASF file's header: opening it (probe, header,
// stream information), measuring stream lengths from the packets, and decoding the first audio
// stream for a while, as the file source and the media detector do. A crash, a sanitizer report
// or a hang (libFuzzer's -timeout) is a finding; a failed HRESULT is not.
//
// Seeds: a few files made with ffmpeg, for example
//   ffmpeg -f lavfi -i sine=duration=1 -c:a wmav2 -b:a 64k seed1.wma
//   ffmpeg -f lavfi -i sine=duration=1 -c:a wmav1 -ar 22050 seed2.wma
// then: asf-header-fuzzer -timeout=20 corpus/ seeds/
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "FfmpegAudioDecoder.h"
#include "FfmpegInput.h"

namespace {
// The bytes as a file that FFmpeg can open by name, without touching the disk.
class MemoryFile
{
public:
    MemoryFile(const uint8_t* data, size_t size) : fd(memfd_create("fuzz.wma", MFD_CLOEXEC))
    {
        size_t done = 0;
        while (fd >= 0 && done < size) {
            ssize_t wrote = write(fd, data + done, size - done);
            if (wrote <= 0)
                break;
            done += size_t(wrote);
        }
    }
    ~MemoryFile()
    {
        if (fd >= 0)
            close(fd);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd); }

private:
    int fd;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFile file(data, size);
    std::unique_ptr<FfmpegInput> input;
    if (FAILED(FfmpegInput::Open(file.Path(), input)))
        return 0;
    for (unsigned index = 0; index < input->StreamCount(); ++index)
        input->StreamLength(index);
    std::vector<unsigned> audio = input->AudioStreams();
    if (audio.empty())
        return 0;
    std::unique_ptr<FfmpegAudioDecoder> decoder;
    if (FAILED(FfmpegAudioDecoder::Open(std::move(input), audio.front(), decoder)))
        return 0;
    std::vector<uint8_t> pcm;
    REFERENCE_TIME start = 0;
    // Enough pieces to reach past the header into the packets, not so many that a long file
    // slows the fuzzer down.
    for (int piece = 0; piece < 64 && decoder->Read(pcm, &start) == S_OK; ++piece) {
    }
    decoder->Seek(5'000'000);
    decoder->Read(pcm, &start);
    return 0;
}
