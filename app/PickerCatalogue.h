// What the pickers share: reading one of the engine's catalogues through a fresh WMAHelper,
// and the sort that keeps equal keys in the catalogue's order. User-interface thread only.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "com/ComPtr.h"
#include "corvane.h"

// The elements of a catalogue answer that are objects of the given interface, in order. Only
// a successful call with an array of dispatch pointers counts; null elements and elements that
// refuse the interface are skipped; no helper, a failed call or an empty answer give none.
std::vector<ComPtr<IWMAProfileInfo>> QueryProfiles(wm_profile_version version);
std::vector<ComPtr<IAudioCaptureSourceInfo>> QueryCaptureSources();

// Sorts ascending by swapping neighbours only when the later one is strictly smaller, so equal
// keys, and keys that cannot be read (smaller answers false), keep their order.
template <class Item>
void BubbleSort(std::vector<Item>& items,
                const std::function<bool(const Item&, const Item&)>& smaller)
{
    for (size_t end = items.size(); end > 1; --end) {
        for (size_t i = 1; i < end; ++i) {
            if (smaller(items[i], items[i - 1]))
                std::swap(items[i], items[i - 1]);
        }
    }
}
