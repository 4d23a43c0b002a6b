// quillet-cli attrs: the five header attributes of a clip, read and written through
// ClipAttributesEditor.
#include <array>
#include <strings.h>

#include "AutomationObject.h"
#include "CommandErrors.h"
#include "Commands.h"
#include "TabOutput.h"

namespace {

// The attributes in the order they are printed; each is also the editor's property name.
constexpr std::array<const char*, 5> Attributes = {"Title", "Author", "Rating", "Copyright",
                                                   "Description"};

const char* AttributeNamed(const std::string& name)
{
    for (const char* attribute : Attributes)
        if (strcasecmp(attribute, name.c_str()) == 0)
            return attribute;
    throw UsageError("there is no attribute \"" + name +
                     "\" (title, author, rating, copyright or description)");
}

int RunAttrs(const CommandLine& line)
{
    // Every change is checked before the file is touched, so a typo changes nothing.
    std::vector<std::pair<const char*, Variant>> changes;
    for (const auto& [option, value] : line.Options()) {
        if (option == "clear")
            changes.emplace_back(AttributeNamed(value), NullText());
        else
            changes.emplace_back(AttributeNamed(option), Variant::Utf8(value));
    }

    AutomationObject editor = AutomationObject::Create(ClipAttributesEditorProgId);
    editor.Put("FilePath", Variant::Utf8(line.Positionals()[0]));
    // The editor saves each write at once; a null value removes the attribute.
    for (auto& [attribute, value] : changes)
        editor.Put(attribute, std::move(value));
    PrintRecord({"attribute", "value"});
    for (const char* attribute : Attributes)
        PrintRecord({attribute, TextOf(editor.Get(attribute))});
    editor.Call("Close");
    return ExitSuccess;
}

constexpr OptionInfo Options[] = {
    {"title", "TEXT", "Set the title."},
    {"author", "TEXT", "Set the author."},
    {"rating", "TEXT", "Set the rating."},
    {"copyright", "TEXT", "Set the copyright notice."},
    {"description", "TEXT", "Set the description."},
    {"clear", "NAME", "Remove the attribute NAME (title, author, ...); may be repeated."},
};

} // namespace

extern const CommandInfo AttrsCommand = {
    "attrs",
    "FILE",
    "Show the five attributes of a clip, after setting or removing those that options name.",
    "The attributes are the title, author, rating, copyright and description in the clip's\n"
    "header. Changes are made in the order given, and each is saved at once. An attribute\n"
    "cannot be set to an empty text; --clear removes it.\n\n"
    "Output: the header \"attribute<TAB>value\", then one line per attribute; an attribute that\n"
    "the file lacks has an empty value.\n",
    Options,
    1,
    1,
    RunAttrs,
};
