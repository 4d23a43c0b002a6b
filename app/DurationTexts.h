// The duration and size texts of the recorder form: the clip info line and the
// maximum clip duration line. Free functions without state; any thread.
#pragma once

#include <QString>

#include <cstdint>

// Exact length in minutes and seconds: "less than one second", "1 second", "62 minutes 5 seconds".
QString DurationText(uint32_t seconds);
// The same length with "about" in front; 0 is still "less than one second".
QString AboutDurationText(uint32_t seconds);
// Bytes below 1024 ("1023 Bytes"), else kilobytes with a tenth shown only when the fraction of a
// kilobyte exceeds one tenth ("1 KB", "1.1 KB", "1024 KB"); there is no unit above KB.
QString SizeText(uint64_t bytes);

// How long a clip can grow under the file-size limit: trunc(max(limitKb - 1, 0) / rate) with
// rate = bitrate / 8192 + 0.1 kilobytes per second (bitrate in bits per second). Saturates at
// the largest 32-bit count.
uint32_t MaxClipDurationSeconds(uint32_t bitrate, uint32_t limitKb);
// "Maximum clip duration: " + AboutDurationText of the estimate; empty when the limit is off or
// the profile's bitrate is 0.
QString MaxClipDurationText(bool applyLimit, uint32_t bitrate, uint32_t limitKb);
