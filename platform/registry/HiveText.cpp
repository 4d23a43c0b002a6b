#include "HiveText.h"

#include <cstdio>

namespace quillet::registry {

namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Reads a quoted string starting after its opening quote; pos ends after the closing quote.
bool ParseQuoted(std::string_view line, size_t& pos, std::string& out)
{
    out.clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"')
            return true;
        if (c != '\\' || pos == line.size()) {
            out += c;
            continue;
        }
        char escaped = line[pos++];
        switch (escaped) {
        case '\\':
        case '"':
            out += escaped;
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            // regedit keeps an unknown escape as it stands, so a hand-written path survives.
            out += '\\';
            out += escaped;
        }
    }
    return false;
}

// Reads "xx,xx,..." (possibly empty) into bytes.
bool ParseHexBytes(std::string_view text, std::vector<BYTE>& out)
{
    out.clear();
    text = Trim(text);
    if (text.empty())
        return true;
    while (true) {
        size_t comma = text.find(',');
        std::string_view item = Trim(text.substr(0, comma));
        if (item.empty() || item.size() > 2)
            return false;
        int value = 0;
        for (char c : item) {
            int digit = HexDigitValue(c);
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        out.push_back(BYTE(value));
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
        // regedit ends a continued line with ",\", which leaves a comma at the very end.
        if (Trim(text).empty())
            return true;
    }
}

// Reads the data after '=' of a value line.
bool ParseData(std::string_view text, RegValue& value, std::string& error)
{
    if (!text.empty() && text.front() == '"') {
        size_t pos = 1;
        std::string content;
        if (!ParseQuoted(text, pos, content) || !Trim(text.substr(pos)).empty()) {
            error = "unterminated or trailing text after a string";
            return false;
        }
        value.type = REG_SZ;
        value.data.assign(content.begin(), content.end());
        value.data.push_back(0);
        return true;
    }
    if (text.starts_with("dword:")) {
        std::string_view digits = Trim(text.substr(6));
        if (digits.empty() || digits.size() > 8) {
            error = "a dword needs one to eight hexadecimal digits";
            return false;
        }
        uint32_t number = 0;
        for (char c : digits) {
            int digit = HexDigitValue(c);
            if (digit < 0) {
                error = "a dword needs one to eight hexadecimal digits";
                return false;
            }
            number = number * 16 + uint32_t(digit);
        }
        value.type = REG_DWORD;
        value.data = {BYTE(number), BYTE(number >> 8), BYTE(number >> 16), BYTE(number >> 24)};
        return true;
    }
    if (text.starts_with("hex:")) {
        value.type = REG_BINARY;
        text.remove_prefix(4);
    } else if (text.starts_with("hex(")) {
        size_t close = text.find("):");
        if (close == std::string_view::npos || close == 4 || close > 12) {
            error = "malformed hex(type):";
            return false;
        }
        uint32_t type = 0;
        for (char c : text.substr(4, close - 4)) {
            int digit = HexDigitValue(c);
            if (digit < 0) {
                error = "malformed hex(type):";
                return false;
            }
            type = type * 16 + uint32_t(digit);
        }
        value.type = type;
        text.remove_prefix(close + 2);
    } else {
        error = "unknown value data";
        return false;
    }
    if (!ParseHexBytes(text, value.data)) {
        error = "malformed hexadecimal bytes";
        return false;
    }
    return true;
}

// Splits off the next line, without its line end; false at the end of the text.
bool NextLine(std::string_view& text, std::string_view& line)
{
    if (text.empty())
        return false;
    size_t end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return true;
}

// Finds or creates the key that a section header names.
RegNode* OpenSection(RegNode& root, std::string_view header, std::string_view rootName)
{
    std::string_view path = header.substr(1, header.size() - 2);
    if (!EqualsNoCase(path.substr(0, rootName.size()), rootName))
        return nullptr;
    path.remove_prefix(rootName.size());
    RegNode* node = &root;
    if (path.empty())
        return node;
    if (path.front() != '\\')
        return nullptr;
    path.remove_prefix(1);
    while (true) {
        size_t slash = path.find('\\');
        std::string_view name = path.substr(0, slash);
        if (name.empty())
            return nullptr;
        node = &node->FindOrAddChild(name);
        if (slash == std::string_view::npos)
            return node;
        path.remove_prefix(slash + 1);
    }
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

void AppendHexBytes(std::string& out, const std::vector<BYTE>& data)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0)
            out += ',';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0xf];
    }
}

// Text plus exactly one terminating NUL: the only REG_SZ that quoted text can carry.
bool IsPlainText(const std::vector<BYTE>& data)
{
    if (data.empty() || data.back() != 0)
        return false;
    for (size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] == 0)
            return false;
    return true;
}

void AppendValue(std::string& out, const RegValue& value)
{
    if (value.name.empty())
        out += '@';
    else
        AppendQuoted(out, value.name);
    out += '=';
    char prefix[24];
    if (value.type == REG_SZ && IsPlainText(value.data)) {
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                           value.data.size() - 1));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t number = uint32_t(value.data[0]) | uint32_t(value.data[1]) << 8 |
                          uint32_t(value.data[2]) << 16 | uint32_t(value.data[3]) << 24;
        std::snprintf(prefix, sizeof prefix, "dword:%08x", number);
        out += prefix;
    } else {
        if (value.type == REG_BINARY)
            out += "hex:";
        else {
            std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
            out += prefix;
        }
        AppendHexBytes(out, value.data);
    }
    out += '\n';
}

void AppendKey(std::string& out, const RegNode& node, const std::string& path, bool isRoot)
{
    // The root's own section is needed only to carry values; its subkeys name it anyway.
    if (!isRoot || !node.values.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const RegValue& value : node.values)
            AppendValue(out, value);
        out += '\n';
    }
    for (const auto& child : node.children)
        AppendKey(out, *child, path + '\\' + child->name, false);
}

} // namespace

std::optional<RegNode> ParseHiveText(std::string_view text, std::string_view rootName,
                                     std::string& error)
{
    RegNode root;
    if (text.empty())
        return root; // a file created but never written: nothing lost by reading it as empty
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    std::string_view line;
    if (!NextLine(text, line) || Trim(line) != kHiveHeader) {
        error = "missing header line";
        return std::nullopt;
    }
    int lineNumber = 1;
    RegNode* current = nullptr;
    while (NextLine(text, line)) {
        ++lineNumber;
        const std::string lineLabel = "line " + std::to_string(lineNumber) + ": ";
        if (Trim(line).empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            line = Trim(line);
            current = line.back() == ']' ? OpenSection(root, line, rootName) : nullptr;
            if (!current) {
                error = lineLabel + "malformed key or key outside " + std::string(rootName);
                return std::nullopt;
            }
            continue;
        }
        if (!current) {
            error = lineLabel + "value before the first key";
            return std::nullopt;
        }
        RegValue value;
        size_t pos = 0;
        if (line.starts_with("@=")) {
            pos = 2;
        } else if (line.front() == '"') {
            pos = 1;
            if (!ParseQuoted(line, pos, value.name) || pos >= line.size() || line[pos] != '=') {
                error = lineLabel + "malformed value name";
                return std::nullopt;
            }
            ++pos;
        } else {
            error = lineLabel + "neither a key nor a value";
            return std::nullopt;
        }
        std::string data(line.substr(pos));
        // Hexadecimal data may continue on the following lines after a trailing backslash.
        while (data.starts_with("hex") && !data.empty() && data.back() == '\\') {
            data.pop_back();
            if (!NextLine(text, line)) {
                error = lineLabel + "continued line at the end of the file";
                return std::nullopt;
            }
            ++lineNumber;
            data += Trim(line);
        }
        std::string dataError;
        if (!ParseData(data, value, dataError)) {
            error = lineLabel + dataError;
            return std::nullopt;
        }
        current->SetValue(value.name, value.type, std::move(value.data));
    }
    return root;
}

std::string FormatHiveText(const RegNode& root, std::string_view rootName)
{
    std::string out(kHiveHeader);
    out += "\n\n";
    AppendKey(out, root, std::string(rootName), true);
    return out;
}

} // namespace quillet::registry
