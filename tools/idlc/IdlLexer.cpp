#include "IdlLexer.h"

#include <cctype>

#include "IdlError.h"

namespace idlc {

std::vector<Token> Tokenize(const std::string& file, const std::string& source)
{
    std::vector<Token> tokens;
    int line = 1;
    size_t i = 0;
    const size_t n = source.size();
    bool lineStart = true;
    while (i < n) {
        char c = source[i];
        if (c == '\n') {
            ++line;
            ++i;
            lineStart = true;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '#' && lineStart) { // preprocessor lines carry nothing the contract needs
            while (i < n && source[i] != '\n')
                ++i;
            continue;
        }
        lineStart = false;
        if (c == '/' && i + 1 < n && source[i + 1] == '/') {
            while (i < n && source[i] != '\n')
                ++i;
            continue;
        }
        if (c == '/' && i + 1 < n && source[i + 1] == '*') {
            int startLine = line;
            i += 2;
            while (i + 1 < n && !(source[i] == '*' && source[i + 1] == '/')) {
                if (source[i] == '\n')
                    ++line;
                ++i;
            }
            if (i + 1 >= n)
                throw IdlError(file, startLine, "unterminated comment");
            i += 2;
            continue;
        }
        if (c == '"') {
            int startLine = line;
            std::string text;
            ++i;
            while (i < n && source[i] != '"') {
                if (source[i] == '\n')
                    throw IdlError(file, startLine, "unterminated string");
                if (source[i] == '\\' && i + 1 < n) {
                    text += source[i + 1];
                    i += 2;
                    continue;
                }
                text += source[i++];
            }
            if (i >= n)
                throw IdlError(file, startLine, "unterminated string");
            ++i;
            tokens.push_back({Token::Kind::String, text, startLine});
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
            size_t start = i;
            while (i < n &&
                   (std::isalnum(static_cast<unsigned char>(source[i])) || source[i] == '_'))
                ++i;
            tokens.push_back({Token::Kind::Identifier, source.substr(start, i - start), line});
            continue;
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            // Numbers, and the hexadecimal runs inside uuid(...) such as 4D15 or 0020AF0BA770.
            size_t start = i;
            while (i < n && std::isalnum(static_cast<unsigned char>(source[i])))
                ++i;
            if (i < n && source[i] == '.' && i + 1 < n &&
                std::isdigit(static_cast<unsigned char>(source[i + 1]))) {
                ++i;
                while (i < n && std::isalnum(static_cast<unsigned char>(source[i])))
                    ++i;
            }
            tokens.push_back({Token::Kind::Number, source.substr(start, i - start), line});
            continue;
        }
        static const std::string punctuation = "[](){};,:=*-<>.";
        if (punctuation.find(c) != std::string::npos) {
            tokens.push_back({Token::Kind::Punct, std::string(1, c), line});
            ++i;
            continue;
        }
        throw IdlError(file, line, std::string("unexpected character '") + c + "'");
    }
    tokens.push_back({Token::Kind::End, "", line});
    return tokens;
}

} // namespace idlc
