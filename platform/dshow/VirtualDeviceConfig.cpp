#include "VirtualDeviceConfig.h"

#include "WavFile.h"
#include "com/DebugLog.h"
#include "dshow/Errors.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

namespace {

constexpr uint32_t MinRate = 1000;
constexpr uint32_t MaxRate = 384000;
constexpr uint32_t MaxChannels = 8;

// Reports the first fault of a parse, with where it is.
struct ParseError
{
    std::string where; // "<file>:<line>"
    std::string what;
};

std::string_view Trim(std::string_view text)
{
    const char* blanks = " \t";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::string Lower(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower;
}

bool ValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t code = length == 1 ? c : c & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        static constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < Smallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
            return false;
        i += length;
    }
    return true;
}

// A quoted value keeps its blanks; \" and \\ are the only escapes.
bool Unquote(std::string_view raw, std::string& value, std::string& why)
{
    if (raw.empty() || raw.front() != '"') {
        value = raw;
        return true;
    }
    value.clear();
    for (size_t i = 1; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\\') {
            if (i + 1 >= raw.size() || (raw[i + 1] != '"' && raw[i + 1] != '\\')) {
                why = "a backslash in a quoted value must be followed by \" or \\";
                return false;
            }
            value += raw[++i];
        } else if (c == '"') {
            if (i + 1 != raw.size()) {
                why = "text after the closing quote";
                return false;
            }
            return true;
        } else {
            value += c;
        }
    }
    why = "the quoted value has no closing quote";
    return false;
}

bool ParseNumber(std::string_view text, double& number)
{
    const char* end = text.data() + text.size();
    auto [next, status] = std::from_chars(text.data(), end, number);
    return status == std::errc() && next == end && std::isfinite(number);
}

bool ParseUnsigned(std::string_view text, uint32_t& number)
{
    const char* end = text.data() + text.size();
    auto [next, status] = std::from_chars(text.data(), end, number);
    return status == std::errc() && next == end;
}

bool ParseFlag(std::string_view text, bool& flag)
{
    std::string lower = Lower(text);
    if (lower == "yes" || lower == "true" || lower == "1") {
        flag = true;
        return true;
    }
    if (lower == "no" || lower == "false" || lower == "0") {
        flag = false;
        return true;
    }
    return false;
}

// One [device] section while it is being read.
struct Section
{
    VirtualDevice device;
    std::string where; // of the [device] line
    std::set<std::string> keys;
    bool rateGiven = false;
    bool channelsGiven = false;
};

class Parser
{
public:
    Parser(const std::filesystem::path& baseFolder, const std::string& sourceName)
        : baseFolder(baseFolder), sourceName(sourceName)
    {
    }

    bool Run(std::string_view text, std::vector<VirtualDevice>& devices)
    {
        // A byte order mark is harmless in UTF-8; editors on some systems write one.
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        size_t lineNumber = 0;
        while (!text.empty()) {
            size_t newline = text.find('\n');
            std::string_view line = text.substr(0, newline);
            text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
            ++lineNumber;
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            where = sourceName + ":" + std::to_string(lineNumber);
            if (!ParseLine(Trim(line), devices))
                return false;
        }
        return Finish(devices);
    }

    ParseError error;

private:
    bool Fail(std::string what)
    {
        error = {where, std::move(what)};
        return false;
    }

    bool ParseLine(std::string_view line, std::vector<VirtualDevice>& devices)
    {
        if (line.empty() || line.front() == '#' || line.front() == ';')
            return true;
        if (line.front() == '[') {
            if (line.back() != ']')
                return Fail("a section header must end with ']'");
            std::string name = Lower(Trim(line.substr(1, line.size() - 2)));
            if (name != "device")
                return Fail("unknown section [" + std::string(line.substr(1, line.size() - 2)) +
                            "]; only [device] is known");
            if (!Finish(devices))
                return false;
            section.emplace();
            section->where = where;
            return true;
        }
        size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return Fail("expected 'key = value', a comment or [device]");
        std::string key = Lower(Trim(line.substr(0, equals)));
        if (key.empty())
            return Fail("a key is missing before '='");
        if (!section)
            return Fail("'" + key + "' comes before the first [device]");
        if (key != "line" && !section->keys.insert(key).second)
            return Fail("'" + key + "' is given twice for one device");
        std::string value;
        std::string why;
        if (!Unquote(Trim(line.substr(equals + 1)), value, why))
            return Fail(why);
        // Names travel on as C strings too; a NUL would cut them short.
        if (value.find('\0') != std::string::npos)
            return Fail("the value of '" + key + "' holds a NUL byte");
        if (!ValidUtf8(value))
            return Fail("the value of '" + key + "' is not valid UTF-8");
        return ApplyKey(key, value);
    }

    bool ApplyKey(const std::string& key, const std::string& value)
    {
        VirtualDevice& device = section->device;
        if (key == "name") {
            device.name = value;
        } else if (key == "line") {
            device.lines.push_back(value);
        } else if (key == "level") {
            if (!ParseNumber(value, device.level) || device.level < 0.0 || device.level > 1.0)
                return Fail("level '" + value + "' is not a number from 0.0 to 1.0");
        } else if (key == "mixer") {
            if (!ParseFlag(value, device.hasMixer))
                return Fail("mixer '" + value + "' is not yes or no");
        } else if (key == "capture") {
            if (!ParseFlag(value, device.hasCaptureOutput))
                return Fail("capture '" + value + "' is not yes or no");
        } else if (key == "rate") {
            if (!ParseUnsigned(value, device.rate) || device.rate < MinRate ||
                device.rate > MaxRate)
                return Fail("rate '" + value + "' is not a whole number of Hz from " +
                            std::to_string(MinRate) + " to " + std::to_string(MaxRate));
            section->rateGiven = true;
        } else if (key == "channels") {
            if (!ParseUnsigned(value, device.channels) || device.channels < 1 ||
                device.channels > MaxChannels)
                return Fail("channels '" + value + "' is not from 1 to " +
                            std::to_string(MaxChannels));
            section->channelsGiven = true;
        } else if (key == "signal") {
            return ApplySignal(value);
        } else {
            return Fail("unknown key '" + key + "'");
        }
        return true;
    }

    bool ApplySignal(std::string_view value)
    {
        VirtualDevice& device = section->device;
        size_t blank = value.find_first_of(" \t");
        std::string kind = Lower(value.substr(0, blank));
        std::string_view argument =
            blank == std::string_view::npos ? std::string_view() : Trim(value.substr(blank));
        if (kind == "silence" && argument.empty()) {
            device.signal = VirtualSignal::Silence;
        } else if (kind == "tone") {
            if (!ParseNumber(argument, device.frequency) || device.frequency <= 0.0)
                return Fail("a tone needs a positive frequency in Hz, as in 'tone 440'");
            device.signal = VirtualSignal::Tone;
        } else if (kind == "wav") {
            if (argument.empty())
                return Fail("a WAV signal needs a path, as in 'wav voice.wav'");
            std::filesystem::path path(argument);
            device.wavPath = path.is_absolute() ? path : baseFolder / path;
            device.signal = VirtualSignal::WavFile;
        } else {
            return Fail("signal '" + std::string(value) +
                        "' is not tone <Hz>, silence or wav <path>");
        }
        return true;
    }

    // Checks the section just read and adds its device.
    bool Finish(std::vector<VirtualDevice>& devices)
    {
        if (!section)
            return true;
        where = section->where;
        VirtualDevice& device = section->device;
        if (!section->keys.contains("name"))
            return Fail("the device has no name");
        if (device.signal == VirtualSignal::WavFile) {
            WavFile wav;
            std::string why;
            if (FAILED(WavFile::LoadFormat(device.wavPath, wav, &why)))
                return Fail(why);
            if ((section->rateGiven && device.rate != wav.Rate()) ||
                (section->channelsGiven && device.channels != wav.Channels()))
                return Fail("rate and channels differ from the WAV file's " +
                            std::to_string(wav.Rate()) + " Hz, " + std::to_string(wav.Channels()) +
                            " channels");
            device.rate = wav.Rate();
            device.channels = wav.Channels();
        }
        if (device.signal == VirtualSignal::Tone && device.frequency >= device.rate / 2.0)
            return Fail("a " + std::to_string(device.frequency) + " Hz tone cannot be sampled at " +
                        std::to_string(device.rate) + " Hz");
        devices.push_back(std::move(device));
        section.reset();
        return true;
    }

    const std::filesystem::path& baseFolder;
    const std::string& sourceName;
    std::string where;
    std::optional<Section> section;
};

} // namespace

HRESULT VirtualDeviceConfig::Parse(std::string_view text, const std::filesystem::path& baseFolder,
                                   const std::string& sourceName,
                                   std::vector<VirtualDevice>& devices, std::string* error)
{
    devices.clear();
    try {
        Parser parser(baseFolder, sourceName);
        std::vector<VirtualDevice> parsed;
        if (!parser.Run(text, parsed)) {
            std::string message = parser.error.where + ": " + parser.error.what;
            QUILLET_LOG("pulse", "virtual devices: %s", message.c_str());
            if (error)
                *error = message;
            return VFW_E_INVALID_FILE_FORMAT;
        }
        devices = std::move(parsed);
    } catch (const std::bad_alloc&) {
        devices.clear();
        return E_OUTOFMEMORY;
    }
    QUILLET_LOG("pulse", "virtual devices: %zu from %s", devices.size(), sourceName.c_str());
    return S_OK;
}

HRESULT VirtualDeviceConfig::Load(const std::filesystem::path& file,
                                  std::vector<VirtualDevice>& devices, std::string* error)
{
    devices.clear();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (error)
            *error = "virtual devices: cannot open '" + file.string() + "'";
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::filesystem::path folder = std::filesystem::absolute(file).parent_path();
    return Parse(text.str(), folder, file.string(), devices, error);
}

HRESULT VirtualDeviceConfig::LoadFromEnvironment(std::vector<VirtualDevice>& devices,
                                                 std::string* error)
{
    devices.clear();
    const char* file = std::getenv(EnvironmentVariable);
    if (!file || !*file)
        return S_FALSE;
    return Load(file, devices, error);
}
