#include "SettingsStore.h"

#include <algorithm>
#include <vector>

#include "registry/Registry.h"

namespace {

constexpr const char* kKeyPath = "Software\\Hollenby\\Vellox";

// Defaults when a value is missing or has another type.
constexpr uint32_t kDefaultWndX = 200;
constexpr uint32_t kDefaultWndY = 150;
constexpr uint32_t kDefaultFileSizeLimit = 100;

// The settings key, opened (created when missing) with the given access, closed on scope exit.
class SettingsKey
{
public:
    explicit SettingsKey(REGSAM access)
    {
        if (RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            access, nullptr, &key, nullptr) != ERROR_SUCCESS)
            key = nullptr;
    }
    // Opens an existing key only (the write-through setters).
    struct ExistingTag
    {
    };
    SettingsKey(ExistingTag, REGSAM access)
    {
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, access, &key) != ERROR_SUCCESS)
            key = nullptr;
    }
    ~SettingsKey()
    {
        if (key)
            RegCloseKey(key);
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    bool Opened() const { return key != nullptr; }

    // A REG_DWORD of exactly four bytes, else fallback.
    uint32_t Number(const char* name, uint32_t fallback) const
    {
        DWORD value = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof value;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof value)
            return fallback;
        return value;
    }

    // A REG_SZ's text without its terminating NUL; empty when missing, of another type or empty.
    std::string Text(const char* name) const
    {
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ || size == 0)
            return {};
        std::vector<char> buffer(size);
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                             &size) != ERROR_SUCCESS ||
            type != REG_SZ || size == 0)
            return {};
        // The text ends at the terminating NUL: normally the last of the size bytes, which is
        // dropped. Data stored without one keeps its last character (the registry hands such
        // strings out with a NUL added, but nothing is dropped that is not a NUL), and an
        // embedded NUL ends the text as it would for a C string.
        return std::string(buffer.begin(), std::find(buffer.begin(), buffer.begin() + size, '\0'));
    }

    bool SetNumber(const char* name, uint32_t value) const
    {
        DWORD data = value;
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                              sizeof data) == ERROR_SUCCESS;
    }

    // The text and its terminating NUL (length + 1 bytes); an empty setting is written as "".
    bool SetText(const char* name, const std::string& text) const
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              DWORD(text.size() + 1)) == ERROR_SUCCESS;
    }

private:
    HKEY key = nullptr;
};

} // namespace

SettingsStore::SettingsStore()
    // The values kept when the key cannot be opened at all.
    : wndX(100), wndY(100), alwaysOnTop(true), fileSizeLimitValue(100), applyFileSizeLimit(false),
      overwriteFilePrompt(true)
{
    Load();
}

SettingsStore& SettingsStore::Instance()
{
    // A function-local static rather than a static object: a static initialiser would read the
    // registry at a point of static initialisation that is not ordered against whatever sets
    // the registry's environment variables (QUILLET_REGISTRY_DIR, XDG_CONFIG_HOME, HOME), for
    // instance a test program's own static setup. main() calls this before it constructs the
    // QApplication, so the settings are still loaded once, before the application object runs.
    static SettingsStore instance;
    return instance;
}

bool SettingsStore::Load()
{
    SettingsKey key(KEY_READ);
    if (!key.Opened())
        return false;
    wndX = key.Number("WndX", kDefaultWndX);
    wndY = key.Number("WndY", kDefaultWndY);
    alwaysOnTop = key.Number("AlwaysOnTop", 0) != 0;
    fileSizeLimitValue = key.Number("FileSizeLimitValue", kDefaultFileSizeLimit);
    if (fileSizeLimitValue == 0)
        fileSizeLimitValue = kDefaultFileSizeLimit;
    applyFileSizeLimit = key.Number("ApplyFileSizeLimit", 0) != 0;
    sourceFilterName = key.Text("SourceFilterName");
    sourceFilterInputPin = key.Text("SourceFilterInputPin");
    encodingProfile = key.Text("EncodingProfile");
    outputPath = key.Text("OutputPath");
    overwriteFilePrompt = key.Number("OverwriteFilePrompt", 0) != 0;
    return true;
}

bool SettingsStore::SetAlwaysOnTop(bool on)
{
    alwaysOnTop = on;
    return WriteOne("AlwaysOnTop", on ? 1 : 0);
}

bool SettingsStore::SetFileSizeLimitValue(uint32_t kb)
{
    fileSizeLimitValue = kb == 0 ? 1 : kb;
    return WriteOne("FileSizeLimitValue", fileSizeLimitValue);
}

bool SettingsStore::SetApplyFileSizeLimit(bool on)
{
    applyFileSizeLimit = on;
    return WriteOne("ApplyFileSizeLimit", on ? 1 : 0);
}

bool SettingsStore::SetOverwriteFilePrompt(bool on)
{
    overwriteFilePrompt = on;
    return WriteOne("OverwriteFilePrompt", on ? 1 : 0);
}

bool SettingsStore::SaveWindowSettings()
{
    SettingsKey key(KEY_ALL_ACCESS);
    if (!key.Opened())
        return false;
    bool written = key.SetNumber("WndX", wndX);
    written = key.SetNumber("WndY", wndY) && written;
    written = key.SetNumber("AlwaysOnTop", alwaysOnTop ? 1 : 0) && written;
    return written;
}

bool SettingsStore::SaveRecorderSettings()
{
    SettingsKey key(KEY_ALL_ACCESS);
    if (!key.Opened())
        return false;
    bool written = key.SetNumber("FileSizeLimitValue", fileSizeLimitValue);
    written = key.SetNumber("ApplyFileSizeLimit", applyFileSizeLimit ? 1 : 0) && written;
    written = key.SetText("SourceFilterName", sourceFilterName) && written;
    written = key.SetText("SourceFilterInputPin", sourceFilterInputPin) && written;
    written = key.SetText("EncodingProfile", encodingProfile) && written;
    written = key.SetText("OutputPath", outputPath) && written;
    written = key.SetNumber("OverwriteFilePrompt", overwriteFilePrompt ? 1 : 0) && written;
    return written;
}

bool SettingsStore::WriteOne(const char* name, uint32_t value)
{
    SettingsKey key(SettingsKey::ExistingTag{}, KEY_ALL_ACCESS);
    return key.Opened() && key.SetNumber(name, value);
}

Bstr SettingsStore::Wide(const std::string& text)
{
    return text.empty() ? Bstr() : Bstr::FromUtf8(text);
}

std::string SettingsStore::Narrow(BSTR text)
{
    // Bstr::Utf8's conversion, without taking a copy of a string the caller keeps.
    return quillet::Utf16ToUtf8(std::u16string_view(text ? text : u"", SysStringLen(text)));
}
