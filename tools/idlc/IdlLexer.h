// Splits IDL source into tokens, skipping white space, comments and preprocessor lines.
#pragma once

#include <string>
#include <vector>

namespace idlc {

struct Token
{
    enum class Kind
    {
        Identifier,
        Number,
        String,
        Punct,
        End
    } kind;
    std::string text; // a string's text without its quotes
    int line;
};

// Throws IdlError for an unterminated string or comment, or a character IDL does not use.
std::vector<Token> Tokenize(const std::string& file, const std::string& source);

} // namespace idlc
