// The window program's user settings: the values of the registry key
// HKEY_CURRENT_USER\Software\Hollenby\Vellox, read once at start-up and kept in memory.
// Memory is the reference: four setters write their value through at once, the others change
// memory only until SaveWindowSettings or SaveRecorderSettings writes their group. No failure
// is reported to the user: a key that cannot be opened leaves the current values (at load) or
// drops the write (at save); a missing or mistyped value reads as its default.
// User-interface thread only; no locking.
#pragma once

#include <cstdint>
#include <string>

#include "com/Bstr.h"

class SettingsStore
{
public:
    // Sets the values used when the key cannot be opened at all, then loads.
    SettingsStore();
    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // The one instance of the process, created and loaded on the first call.
    static SettingsStore& Instance();

    // Opens the key (creating it when missing) for reading and reads every value with its
    // default. False, with the current values kept, when the key cannot be opened.
    bool Load();

    // The main window's left and top edges as stored: the 32-bit pattern of a screen
    // coordinate (a negative edge comes back as the same bits; cast to int32_t to see it).
    void GetWindowPosition(uint32_t& x, uint32_t& y) const
    {
        x = wndX;
        y = wndY;
    }
    bool AlwaysOnTop() const { return alwaysOnTop; }
    // The size limit in KB; never 0.
    uint32_t FileSizeLimitValue() const { return fileSizeLimitValue; }
    bool ApplyFileSizeLimit() const { return applyFileSizeLimit; }
    bool OverwriteFilePrompt() const { return overwriteFilePrompt; }
    // New wide strings, null when the setting is empty.
    Bstr SourceFilterName() const { return Wide(sourceFilterName); }
    Bstr SourceFilterInputPin() const { return Wide(sourceFilterInputPin); }
    Bstr EncodingProfile() const { return Wide(encodingProfile); }
    Bstr OutputPath() const { return Wide(outputPath); }

    // Write through: memory changes, then the key is opened with full access, the one value
    // is written and the key closed. Each answers whether the write succeeded.
    bool SetAlwaysOnTop(bool on);
    // Stores kb, or 1 when kb is 0.
    bool SetFileSizeLimitValue(uint32_t kb);
    bool SetApplyFileSizeLimit(bool on);
    bool SetOverwriteFilePrompt(bool on);

    // Memory only, until the group is saved. A null or empty string clears the setting.
    void SetWindowPosition(uint32_t x, uint32_t y)
    {
        wndX = x;
        wndY = y;
    }
    void SetSourceFilterName(BSTR name) { sourceFilterName = Narrow(name); }
    void SetSourceFilterInputPin(BSTR pin) { sourceFilterInputPin = Narrow(pin); }
    void SetEncodingProfile(BSTR profile) { encodingProfile = Narrow(profile); }
    void SetOutputPath(BSTR path) { outputPath = Narrow(path); }

    // Open the key with full access (creating it when missing) and write "WndX", "WndY",
    // "AlwaysOnTop" (respectively "FileSizeLimitValue", "ApplyFileSizeLimit",
    // "SourceFilterName", "SourceFilterInputPin", "EncodingProfile", "OutputPath",
    // "OverwriteFilePrompt") in this order. False when the key cannot be opened or a write
    // fails.
    bool SaveWindowSettings();
    bool SaveRecorderSettings();

private:
    static Bstr Wide(const std::string& text);
    static std::string Narrow(BSTR text);
    bool WriteOne(const char* name, uint32_t value);

    uint32_t wndX;
    uint32_t wndY;
    bool alwaysOnTop;
    uint32_t fileSizeLimitValue;
    bool applyFileSizeLimit;
    bool overwriteFilePrompt;
    // UTF-8, as the registry stores text.
    std::string sourceFilterName;
    std::string sourceFilterInputPin;
    std::string encodingProfile;
    std::string outputPath;
};
