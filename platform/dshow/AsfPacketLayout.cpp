#include "AsfPacketLayout.h"

#include <algorithm>

HRESULT AsfPacketLayout::Choose(int frameBytes, int frameSamples, int sampleRate,
                                AsfPacketLayout& layout)
{
    if (frameBytes <= 0 || frameSamples <= 0 || sampleRate <= 0)
        return E_INVALIDARG;
    const int maxBySize = (MaxPacketSize - PacketOverhead) / frameBytes;
    if (maxBySize < 1)
        return E_INVALIDARG;
    // At least one frame even when a frame is longer than the latency limit.
    const int maxByTime =
        std::max(1, int(int64_t(sampleRate) * MaxPacketMilliseconds / 1000 / frameSamples));
    const int maxFrames = std::min(maxBySize, maxByTime);

    const double referenceBytes =
        double(ReferenceSeconds) * sampleRate / frameSamples * double(frameBytes);
    int best = 1;
    double bestCost = 0;
    for (int frames = 1; frames <= maxFrames; ++frames) {
        const double packet = double(frames) * frameBytes + PacketOverhead;
        if (packet < MinPacketSize && frames < maxFrames)
            continue;
        const double cost = PacketOverhead / packet + packet / (2 * referenceBytes);
        if (bestCost == 0 || cost < bestCost) {
            best = frames;
            bestCost = cost;
        }
    }
    layout.framesPerPacket = best;
    layout.packetSize = std::max(best * frameBytes + PacketOverhead, int(MinPacketSize));
    return S_OK;
}
