// How the ASF writer packs encoded audio into fixed-size ASF data packets.
//
// Every ASF data packet has the size fixed in the header. FFmpeg's muxer defaults to 3,200 bytes
// and never splits an audio frame across packets when it packs several, so a packet holds as many
// whole frames as fit and the rest is padding: 5 to 44 % of the file at the catalogue's rates. WMA
// frames have a constant size (the codec's block_align), so we size the packet to hold a whole
// number of frames exactly and hand the muxer those frames as one payload. A full packet then
// carries 26 bytes of headers (11 for the packet, 15 for its single payload) and no padding.
//
// The number of frames per packet trades those 26 bytes against the padding of the last packet,
// which is on average half a packet. For a recording of T bytes the cost is about
// 26/P + P/(2T) of the file for packets of P bytes; we minimise it for the shortest recording
// whose size we care about, ten seconds, and never put more than half a second of audio in a
// packet, so the file on disk grows at least twice a second and a killed recording loses little.
// Longer recordings only get better: the last packet's padding spreads over more audio.
//
// The clients' size limit (dshow/FileSizeLimit.h) stops early enough for three packets of about
// this size, so a layout with larger packets must move that bound along.
//
// Threads: a plain value; any thread.
#pragma once

#include "com/Types.h"

class AsfPacketLayout
{
public:
    // Bytes of packet and payload headers in a packet that carries one payload.
    static constexpr int PacketOverhead = 26;
    // The muxer's limits for its packet_size option.
    static constexpr int MinPacketSize = 100;
    static constexpr int MaxPacketSize = 65536;
    // The recording length the layout is best for, and the most audio a packet may hold.
    static constexpr int ReferenceSeconds = 10;
    static constexpr int MaxPacketMilliseconds = 500;

    // The layout for frames of `frameBytes` bytes that each hold `frameSamples` samples at
    // `sampleRate`. E_INVALIDARG when a single frame cannot fit the largest packet.
    static HRESULT Choose(int frameBytes, int frameSamples, int sampleRate,
                          AsfPacketLayout& layout);

    int FramesPerPacket() const { return framesPerPacket; }
    // The muxer's packet_size: FramesPerPacket frames and the headers.
    int PacketSize() const { return packetSize; }

private:
    int framesPerPacket = 0;
    int packetSize = 0;
};
