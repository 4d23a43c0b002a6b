// The registrar in two steps: RegistrationScript parses the whole script into a tree of keys,
// then the tree is registered or unregistered through the Reg* functions.
#include "com/Registrar.h"

#include <new>
#include <optional>

#include "com/DebugLog.h"
#include "registry/Registry.h"

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

struct ScriptValue
{
    DWORD type = REG_SZ; // REG_SZ or REG_DWORD
    std::string text;
    DWORD number = 0;
};

struct NamedValue
{
    std::string name;
    ScriptValue value;
};

enum class KeyFlag
{
    None,
    NoRemove,
    ForceRemove,
    Delete
};

struct ScriptKey
{
    KeyFlag flag = KeyFlag::None;
    std::string name;
    std::optional<ScriptValue> defaultValue;
    std::vector<NamedValue> values;
    std::vector<ScriptKey> subkeys;
};

struct ScriptRoot
{
    HKEY hive;
    ScriptKey body;
};

// A script thrown away at the first error; error says what and where.
class ScriptParser
{
public:
    ScriptParser(std::string_view script, const std::vector<RegistrarReplacement>& replacements)
        : text(script), replacements(replacements)
    {
    }

    bool Parse(std::vector<ScriptRoot>& roots)
    {
        while (Peek().kind != Token::End) {
            Token root = Next();
            ScriptRoot entry{};
            if (root.kind == Token::Word &&
                (EqualsNoCase(root.text, "HKCR") || EqualsNoCase(root.text, "HKEY_CLASSES_ROOT")))
                entry.hive = HKEY_CLASSES_ROOT;
            else if (root.kind == Token::Word && (EqualsNoCase(root.text, "HKCU") ||
                                                  EqualsNoCase(root.text, "HKEY_CURRENT_USER")))
                entry.hive = HKEY_CURRENT_USER;
            else
                return Fail(root, "expected a root key, found " + Describe(root));
            if (Next().kind != Token::Open)
                return Fail(current, "expected '{' after the root, found " + Describe(current));
            if (!ParseBody(entry.body))
                return false;
            roots.push_back(std::move(entry));
        }
        return !failed;
    }

    const std::string& Error() const { return error; }

private:
    struct Token
    {
        enum Kind
        {
            End,
            Word,
            Quoted,
            Open,
            Close,
            Equals,
            Bad
        } kind = End;
        std::string text;
        int line = 1;
    };

    static std::string Describe(const Token& token)
    {
        switch (token.kind) {
        case Token::End:
            return "the end of the script";
        case Token::Open:
            return "'{'";
        case Token::Close:
            return "'}'";
        case Token::Equals:
            return "'='";
        default:
            return "'" + token.text + "'";
        }
    }

    bool Fail(const Token& at, const std::string& message)
    {
        if (!failed)
            error = "line " + std::to_string(at.line) + ": " + message;
        failed = true;
        return false;
    }

    // Applies the replacement that starts at text[pos] == '%'; pos ends after it.
    bool Replace(size_t& pos, std::string& out, Token& token)
    {
        size_t close = text.find('%', pos + 1);
        if (close == std::string_view::npos ||
            text.substr(pos + 1, close - pos - 1).find_first_of(" \t\r\n'") !=
                std::string_view::npos) {
            Fail(token, "unterminated %NAME%");
            return false;
        }
        std::string_view name = text.substr(pos + 1, close - pos - 1);
        pos = close + 1;
        if (name.empty()) {
            out += '%';
            return true;
        }
        for (const RegistrarReplacement& replacement : replacements) {
            if (EqualsNoCase(replacement.name, name)) {
                out += replacement.value;
                return true;
            }
        }
        Fail(token, "no replacement for %" + std::string(name) + "%");
        return false;
    }

    Token Scan()
    {
        while (pos < text.size() &&
               std::string_view(" \t\r\n").find(text[pos]) != std::string_view::npos) {
            if (text[pos] == '\n')
                ++line;
            ++pos;
        }
        Token token;
        token.line = line;
        if (pos == text.size())
            return token;
        char c = text[pos];
        if (c == '}' || c == '=') {
            ++pos;
            token.kind = c == '}' ? Token::Close : Token::Equals;
            return token;
        }
        token.kind = c == '\'' ? Token::Quoted : Token::Word;
        if (token.kind == Token::Quoted) {
            ++pos;
            while (true) {
                if (pos == text.size()) {
                    Fail(token, "missing closing quote");
                    token.kind = Token::Bad;
                    return token;
                }
                c = text[pos];
                if (c == '\'' && pos + 1 < text.size() && text[pos + 1] == '\'') {
                    token.text += '\'';
                    pos += 2;
                } else if (c == '\'') {
                    ++pos;
                    return token;
                } else if (c == '%') {
                    if (!Replace(pos, token.text, token)) {
                        token.kind = Token::Bad;
                        return token;
                    }
                } else {
                    if (c == '\n')
                        ++line;
                    token.text += c;
                    ++pos;
                }
            }
        }
        // A bare word runs to white space or '=', so "{GUID}" is a name while "{" alone opens
        // a body.
        while (pos < text.size() &&
               std::string_view(" \t\r\n='").find(text[pos]) == std::string_view::npos) {
            if (text[pos] == '%') {
                if (!Replace(pos, token.text, token)) {
                    token.kind = Token::Bad;
                    return token;
                }
            } else {
                token.text += text[pos++];
            }
        }
        if (token.text == "{")
            token.kind = Token::Open;
        return token;
    }

    const Token& Peek()
    {
        if (!peeked) {
            lookahead = Scan();
            peeked = true;
        }
        return lookahead;
    }

    Token Next()
    {
        Peek();
        peeked = false;
        current = lookahead;
        return current;
    }

    bool IsKeyword(const Token& token, std::string_view word)
    {
        return token.kind == Token::Word && EqualsNoCase(token.text, word);
    }

    // A key or value name: a word that is no keyword, or any quoted text but the empty one.
    bool ExpectName(std::string& name, const char* what)
    {
        Token token = Next();
        bool keyword = IsKeyword(token, "val") || IsKeyword(token, "NoRemove") ||
                       IsKeyword(token, "ForceRemove") || IsKeyword(token, "Delete");
        if ((token.kind != Token::Word && token.kind != Token::Quoted) || keyword ||
            token.text.empty())
            return Fail(token, std::string("expected ") + what + ", found " + Describe(token));
        name = token.text;
        return true;
    }

    bool ParseValue(ScriptValue& value)
    {
        Token type = Next();
        if (!IsKeyword(type, "s") && !IsKeyword(type, "d"))
            return Fail(type, "expected the value type s or d, found " + Describe(type));
        Token data = Next();
        if (data.kind != Token::Word && data.kind != Token::Quoted)
            return Fail(data, "expected the value's data, found " + Describe(data));
        if (IsKeyword(type, "s")) {
            value.type = REG_SZ;
            value.text = data.text;
            return true;
        }
        value.type = REG_DWORD;
        std::string_view digits = data.text;
        int base = 10;
        if (digits.starts_with("0x") || digits.starts_with("0X")) {
            base = 16;
            digits.remove_prefix(2);
        }
        uint64_t number = 0;
        for (char c : digits) {
            int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : 99;
            if (digit >= base)
                return Fail(data, "'" + data.text + "' is not a number");
            number = number * uint64_t(base) + uint64_t(digit);
            if (number > 0xFFFFFFFFu)
                return Fail(data, "'" + data.text + "' does not fit in 32 bits");
        }
        if (digits.empty())
            return Fail(data, "'" + data.text + "' is not a number");
        value.number = DWORD(number);
        return true;
    }

    // Parses entries up to and including the closing brace of a body.
    bool ParseBody(ScriptKey& key)
    {
        while (true) {
            const Token& next = Peek();
            if (next.kind == Token::Bad)
                return false;
            if (next.kind == Token::End)
                return Fail(next, "missing '}'");
            if (next.kind == Token::Close) {
                Next();
                return true;
            }
            if (IsKeyword(next, "val")) {
                Next();
                NamedValue value;
                if (!ExpectName(value.name, "a value name"))
                    return false;
                if (Next().kind != Token::Equals)
                    return Fail(current, "expected '=' after val " + value.name + ", found " +
                                             Describe(current));
                if (!ParseValue(value.value))
                    return false;
                key.values.push_back(std::move(value));
                continue;
            }
            ScriptKey subkey;
            if (IsKeyword(next, "NoRemove"))
                subkey.flag = KeyFlag::NoRemove;
            else if (IsKeyword(next, "ForceRemove"))
                subkey.flag = KeyFlag::ForceRemove;
            else if (IsKeyword(next, "Delete"))
                subkey.flag = KeyFlag::Delete;
            if (subkey.flag != KeyFlag::None)
                Next();
            if (!ExpectName(subkey.name, "a key name"))
                return false;
            if (Peek().kind == Token::Equals) {
                Next();
                if (!ParseValue(subkey.defaultValue.emplace()))
                    return false;
            }
            if (Peek().kind == Token::Open) {
                Next();
                if (!ParseBody(subkey))
                    return false;
            }
            key.subkeys.push_back(std::move(subkey));
        }
    }

    std::string_view text;
    const std::vector<RegistrarReplacement>& replacements;
    size_t pos = 0;
    int line = 1;
    bool peeked = false;
    Token lookahead;
    Token current;
    bool failed = false;
    std::string error;
};

HRESULT FromRegistry(LONG code)
{
    return code == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(DWORD(code));
}

// Deletes a key with its subtree; a missing key is no error.
HRESULT DeleteTree(HKEY parent, const std::string& name)
{
    LONG rc = RegDeleteTreeA(parent, name.c_str());
    return rc == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(rc);
}

HRESULT SetValue(HKEY key, const char* name, const ScriptValue& value)
{
    if (value.type == REG_DWORD) {
        const BYTE bytes[4] = {BYTE(value.number), BYTE(value.number >> 8),
                               BYTE(value.number >> 16), BYTE(value.number >> 24)};
        return FromRegistry(RegSetValueExA(key, name, 0, REG_DWORD, bytes, sizeof bytes));
    }
    return FromRegistry(RegSetValueExA(key, name, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(value.text.c_str()),
                                       DWORD(value.text.size() + 1)));
}

HRESULT RegisterKey(HKEY parent, const ScriptKey& key);

// Writes a key's default value, its named values and its subkeys into the open key.
HRESULT RegisterBody(HKEY key, const ScriptKey& body)
{
    HRESULT hr = body.defaultValue ? SetValue(key, nullptr, *body.defaultValue) : S_OK;
    for (size_t i = 0; SUCCEEDED(hr) && i < body.values.size(); ++i)
        hr = SetValue(key, body.values[i].name.c_str(), body.values[i].value);
    for (size_t i = 0; SUCCEEDED(hr) && i < body.subkeys.size(); ++i)
        hr = RegisterKey(key, body.subkeys[i]);
    return hr;
}

HRESULT RegisterKey(HKEY parent, const ScriptKey& key)
{
    if (key.flag == KeyFlag::Delete || key.flag == KeyFlag::ForceRemove) {
        HRESULT hr = DeleteTree(parent, key.name);
        if (FAILED(hr) || key.flag == KeyFlag::Delete)
            return hr;
    }
    HKEY opened = nullptr;
    HRESULT hr =
        FromRegistry(RegCreateKeyExA(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_ALL_ACCESS, nullptr, &opened, nullptr));
    if (FAILED(hr))
        return hr;
    hr = RegisterBody(opened, key);
    RegCloseKey(opened);
    return hr;
}

// True when a NoRemove key lies anywhere below key, which must then stay.
bool HoldsNoRemove(const ScriptKey& key)
{
    for (const ScriptKey& subkey : key.subkeys)
        if (subkey.flag == KeyFlag::NoRemove || HoldsNoRemove(subkey))
            return true;
    return false;
}

HRESULT UnregisterKey(HKEY parent, const ScriptKey& key);

// Removes a kept key's named values and processes its subkeys.
HRESULT UnregisterBody(HKEY key, const ScriptKey& body)
{
    HRESULT hr = S_OK;
    for (size_t i = 0; SUCCEEDED(hr) && i < body.values.size(); ++i) {
        LONG rc = RegDeleteValueA(key, body.values[i].name.c_str());
        hr = rc == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(rc);
    }
    for (size_t i = 0; SUCCEEDED(hr) && i < body.subkeys.size(); ++i)
        hr = UnregisterKey(key, body.subkeys[i]);
    return hr;
}

HRESULT UnregisterKey(HKEY parent, const ScriptKey& key)
{
    if (key.flag != KeyFlag::NoRemove && !HoldsNoRemove(key))
        return DeleteTree(parent, key.name);
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExA(parent, key.name.c_str(), 0, KEY_ALL_ACCESS, &opened);
    if (rc == ERROR_FILE_NOT_FOUND)
        return S_OK;
    if (rc != ERROR_SUCCESS)
        return FromRegistry(rc);
    HRESULT hr = UnregisterBody(opened, key);
    RegCloseKey(opened);
    return hr;
}

} // namespace

HRESULT RunRegistrationScript(std::string_view script,
                              const std::vector<RegistrarReplacement>& replacements,
                              bool registerEntries)
{
    if (!script.data())
        return E_POINTER;
    for (const RegistrarReplacement& replacement : replacements)
        if (!replacement.name)
            return E_INVALIDARG;
    try {
        std::vector<ScriptRoot> roots;
        ScriptParser parser(script, replacements);
        if (!parser.Parse(roots)) {
            QUILLET_LOG("registry", "registration script, %s", parser.Error().c_str());
            return REGISTRAR_E_SYNTAX;
        }
        for (const ScriptRoot& root : roots) {
            HRESULT hr = registerEntries ? RegisterBody(root.hive, root.body)
                                         : UnregisterBody(root.hive, root.body);
            if (FAILED(hr)) {
                QUILLET_LOG("registry", "%s failed: 0x%08x",
                            registerEntries ? "registration" : "unregistration", unsigned(hr));
                return hr;
            }
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
