#include "IdlParser.h"

#include <cstdlib>

#include "IdlError.h"
#include "IdlLexer.h"

namespace idlc {

namespace {

class Parser
{
public:
    Parser(const std::string& file, std::vector<Token> tokens)
        : file(file), tokens(std::move(tokens))
    {
        result.path = file;
    }

    IdlFile ParseFile()
    {
        while (!AtEnd())
            ParseTopLevel(false);
        return std::move(result);
    }

private:
    const Token& Peek(size_t ahead = 0) const
    {
        size_t index = position + ahead;
        return index < tokens.size() ? tokens[index] : tokens.back();
    }
    bool AtEnd() const { return Peek().kind == Token::Kind::End; }
    const Token& Next()
    {
        const Token& token = Peek();
        if (!AtEnd())
            ++position;
        return token;
    }
    bool IsPunct(const char* text, size_t ahead = 0) const
    {
        return Peek(ahead).kind == Token::Kind::Punct && Peek(ahead).text == text;
    }
    bool IsWord(const char* text) const
    {
        return Peek().kind == Token::Kind::Identifier && Peek().text == text;
    }
    [[noreturn]] void Fail(const std::string& message, int line = 0) const
    {
        throw IdlError(file, line ? line : Peek().line, message);
    }
    std::string Describe(const Token& token) const
    {
        if (token.kind == Token::Kind::End)
            return "end of file";
        return "'" + token.text + "'";
    }
    void ExpectPunct(const char* text, const char* context)
    {
        if (!IsPunct(text))
            Fail(std::string("expected '") + text + "' " + context + ", found " + Describe(Peek()));
        Next();
    }
    std::string ExpectIdentifier(const char* what)
    {
        if (Peek().kind != Token::Kind::Identifier)
            Fail(std::string("expected ") + what + ", found " + Describe(Peek()));
        return Next().text;
    }
    // A block's closing brace; running out of input means the block was never closed.
    void ExpectBlockEnd(const std::string& what, int openLine)
    {
        if (AtEnd())
            Fail("unterminated block " + what + " opened at line " + std::to_string(openLine),
                 openLine);
        ExpectPunct("}", ("to close " + what).c_str());
    }
    void SkipSemicolons()
    {
        while (IsPunct(";"))
            Next();
    }

    AttributeList ParseAttributes()
    {
        AttributeList list;
        if (!IsPunct("["))
            return list;
        int openLine = Next().line;
        while (true) {
            if (AtEnd())
                Fail("unterminated attribute list opened at line " + std::to_string(openLine),
                     openLine);
            Attribute attribute;
            attribute.line = Peek().line;
            attribute.name = ExpectIdentifier("an attribute name");
            if (IsPunct("(")) {
                Next();
                std::string argument;
                int depth = 0;
                while (true) {
                    if (AtEnd())
                        Fail("unterminated attribute argument list", attribute.line);
                    if (IsPunct("(")) {
                        ++depth;
                    } else if (IsPunct(")")) {
                        if (depth == 0)
                            break;
                        --depth;
                    } else if (IsPunct(",") && depth == 0) {
                        attribute.args.push_back(argument);
                        argument.clear();
                        Next();
                        continue;
                    }
                    argument += Next().text;
                }
                Next(); // ')'
                attribute.args.push_back(argument);
            }
            list.items.push_back(attribute);
            if (IsPunct(",")) {
                Next();
                continue;
            }
            ExpectPunct("]", "to close the attribute list");
            return list;
        }
    }

    TypeName ParseType()
    {
        TypeName type;
        type.line = Peek().line;
        if (IsWord("const"))
            Next();
        std::string name = ExpectIdentifier("a type name");
        if (name == "unsigned" && Peek().kind == Token::Kind::Identifier)
            name += " " + Next().text;
        if (name == "SAFEARRAY") {
            ExpectPunct("(", "after SAFEARRAY");
            type.safeArray = true;
            name = ExpectIdentifier("an element type");
            ExpectPunct(")", "after the SAFEARRAY element type");
        }
        type.name = name;
        while (IsPunct("*")) {
            Next();
            ++type.pointers;
        }
        return type;
    }

    MethodDecl ParseMethod(AttributeList attributes)
    {
        MethodDecl method;
        method.attributes = std::move(attributes);
        method.line = Peek().line;
        method.returnType = ParseType();
        method.name = ExpectIdentifier("a method name");
        ExpectPunct("(", ("after method " + method.name).c_str());
        if (IsWord("void") && IsPunct(")", 1))
            Next();
        while (!IsPunct(")")) {
            if (AtEnd())
                Fail("unterminated parameter list of " + method.name, method.line);
            ParameterDecl param;
            param.line = Peek().line;
            param.attributes = ParseAttributes();
            param.type = ParseType();
            param.name = ExpectIdentifier("a parameter name");
            method.params.push_back(std::move(param));
            if (IsPunct(","))
                Next();
            else if (!IsPunct(")"))
                Fail("expected ',' or ')' in the parameters of " + method.name + ", found " +
                     Describe(Peek()));
        }
        Next(); // ')'
        ExpectPunct(";", ("after method " + method.name).c_str());
        return method;
    }

    void ParseEnum(AttributeList attributes)
    {
        // typedef [attributes] enum [tag] { A = 1, B } Name;
        EnumDecl decl;
        decl.attributes = std::move(attributes);
        decl.line = Peek().line;
        Next(); // enum
        if (Peek().kind == Token::Kind::Identifier)
            Next(); // an optional tag
        int openLine = Peek().line;
        ExpectPunct("{", "to open the enumeration");
        int64_t nextValue = 0;
        while (!IsPunct("}")) {
            if (AtEnd())
                ExpectBlockEnd("enum", openLine);
            std::string name = ExpectIdentifier("an enumerator");
            int64_t value = nextValue;
            if (IsPunct("=")) {
                Next();
                bool negative = false;
                if (IsPunct("-")) {
                    negative = true;
                    Next();
                }
                if (Peek().kind != Token::Kind::Number)
                    Fail("expected a number for enumerator " + name + ", found " +
                         Describe(Peek()));
                value = ParseInteger(Next());
                if (negative)
                    value = -value;
            }
            for (const auto& existing : decl.values)
                if (existing.first == name)
                    Fail("duplicate enumerator " + name);
            decl.values.emplace_back(name, value);
            nextValue = value + 1;
            if (IsPunct(","))
                Next();
            else if (!IsPunct("}"))
                Fail("expected ',' or '}' after enumerator " + name + ", found " +
                     Describe(Peek()));
        }
        Next(); // '}'
        decl.name = ExpectIdentifier("the enumeration's type name");
        ExpectPunct(";", ("after typedef " + decl.name).c_str());
        result.order.push_back({Declaration::Kind::Enum, result.enums.size()});
        result.enums.push_back(std::move(decl));
    }

    int64_t ParseInteger(const Token& token) const
    {
        const std::string& text = token.text;
        char* end = nullptr;
        long long value = std::strtoll(text.c_str(), &end, 0);
        if (!end || *end != '\0')
            throw IdlError(file, token.line, "malformed number '" + text + "'");
        return value;
    }

    void ParseInterface(AttributeList attributes, bool dispinterface)
    {
        InterfaceDecl decl;
        decl.attributes = std::move(attributes);
        decl.isDispinterface = dispinterface;
        decl.line = Next().line; // interface / dispinterface
        decl.name = ExpectIdentifier("an interface name");
        if (IsPunct(";")) { // a forward declaration
            Next();
            return;
        }
        if (!dispinterface) {
            ExpectPunct(":", ("after interface " + decl.name + " (a base is required)").c_str());
            decl.base = ExpectIdentifier("a base interface");
        }
        int openLine = Peek().line;
        ExpectPunct("{", ("to open interface " + decl.name).c_str());
        while (!IsPunct("}")) {
            if (AtEnd())
                ExpectBlockEnd("interface " + decl.name, openLine);
            if (dispinterface && (IsWord("properties") || IsWord("methods")) && IsPunct(":", 1)) {
                Next();
                Next();
                continue;
            }
            AttributeList memberAttributes = ParseAttributes();
            decl.methods.push_back(ParseMethod(std::move(memberAttributes)));
        }
        Next(); // '}'
        SkipSemicolons();
        result.order.push_back({Declaration::Kind::Interface, result.interfaces.size()});
        result.interfaces.push_back(std::move(decl));
    }

    void ParseCoclass(AttributeList attributes)
    {
        CoclassDecl decl;
        decl.attributes = std::move(attributes);
        decl.line = Next().line; // coclass
        decl.name = ExpectIdentifier("a class name");
        int openLine = Peek().line;
        ExpectPunct("{", ("to open coclass " + decl.name).c_str());
        while (!IsPunct("}")) {
            if (AtEnd())
                ExpectBlockEnd("coclass " + decl.name, openLine);
            CoclassMember member;
            member.attributes = ParseAttributes();
            member.line = Peek().line;
            if (IsWord("interface"))
                Next();
            else if (IsWord("dispinterface")) {
                Next();
                member.isDispinterface = true;
            } else
                Fail("expected 'interface' or 'dispinterface' in coclass " + decl.name +
                     ", found " + Describe(Peek()));
            member.name = ExpectIdentifier("an interface name");
            ExpectPunct(";", "after a coclass member");
            decl.members.push_back(std::move(member));
        }
        Next();
        SkipSemicolons();
        result.order.push_back({Declaration::Kind::Coclass, result.coclasses.size()});
        result.coclasses.push_back(std::move(decl));
    }

    void ParseLibrary(AttributeList attributes)
    {
        if (result.library)
            Fail("a second library block");
        LibraryDecl decl;
        decl.attributes = std::move(attributes);
        decl.line = Next().line; // library
        decl.name = ExpectIdentifier("a library name");
        int openLine = Peek().line;
        ExpectPunct("{", ("to open library " + decl.name).c_str());
        result.library = decl;
        while (!IsPunct("}")) {
            if (AtEnd())
                ExpectBlockEnd("library " + decl.name, openLine);
            ParseTopLevel(true);
        }
        Next();
        SkipSemicolons();
    }

    void ParseTopLevel(bool insideLibrary)
    {
        if (IsPunct(";")) {
            Next();
            return;
        }
        if (IsWord("import")) {
            Next();
            while (Peek().kind == Token::Kind::String) {
                result.imports.push_back(Next().text);
                if (IsPunct(","))
                    Next();
            }
            ExpectPunct(";", "after import");
            return;
        }
        if (IsWord("importlib")) {
            if (!insideLibrary)
                Fail("importlib outside a library block");
            Next();
            ExpectPunct("(", "after importlib");
            if (Peek().kind != Token::Kind::String)
                Fail("expected a library file name in importlib");
            result.library->importlibs.push_back(Next().text);
            ExpectPunct(")", "after the importlib file name");
            ExpectPunct(";", "after importlib");
            return;
        }
        if (IsWord("typedef")) {
            Next();
            AttributeList attributes = ParseAttributes();
            if (!IsWord("enum"))
                Fail("only enumerations can be typedef'd here, found " + Describe(Peek()));
            ParseEnum(std::move(attributes));
            return;
        }
        AttributeList attributes = ParseAttributes();
        if (IsWord("interface"))
            ParseInterface(std::move(attributes), false);
        else if (IsWord("dispinterface"))
            ParseInterface(std::move(attributes), true);
        else if (IsWord("coclass"))
            ParseCoclass(std::move(attributes));
        else if (IsWord("library") && !insideLibrary)
            ParseLibrary(std::move(attributes));
        else
            Fail("expected a declaration, found " + Describe(Peek()));
    }

    std::string file;
    std::vector<Token> tokens;
    size_t position = 0;
    IdlFile result;
};

} // namespace

IdlFile ParseIdl(const std::string& file, const std::string& source)
{
    return Parser(file, Tokenize(file, source)).ParseFile();
}

} // namespace idlc
