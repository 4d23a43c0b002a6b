// The five clip attributes read and written through the engine, on real files that ffprobe and
// ffmpeg read back; pipes and devices refused at once; a save that does not fit on the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "AudioServer.h"
#include "EngineTestEnvironment.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"
#include "Watchdog.h"
#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "corvane.h"

namespace {

std::string LastError()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK)
        return "(none)";
    Bstr text, source;
    info->GetDescription(text.Out());
    info->GetSource(source.Out());
    EXPECT_EQ(source.Utf8(), "corvane.ClipAttributesEditor.1");
    return text.Utf8();
}

class ClipAttributesEditorTest : public EngineTest
{
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        ASSERT_EQ(CoCreateInstance(CLSID_ClipAttributesEditor, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&editor)),
                  S_OK);
        clip = folder / "clip.wma";
        int status = 0;
        audio_test::Shell("ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 "
                          "-c:a wmav2 -b:a 64k '" +
                              clip + "'",
                          &status);
        ASSERT_EQ(status, 0);
    }
    void TearDown() override
    {
        editor.Reset();
        EngineTest::TearDown();
    }

    HRESULT Open(const std::string& path)
    {
        return editor->put_FilePath(Bstr::FromUtf8(path).Get());
    }

    std::string Probe(const std::string& entries)
    {
        return audio_test::Shell("ffprobe -v error -show_entries " + entries +
                                 " -of default=noprint_wrappers=1 '" + clip + "'");
    }

    ComPtr<IClipAttributesEditor> editor;
    TempFolder folder;
    std::string clip;
};

using Getter = HRESULT (IClipAttributesEditor::*)(BSTR*);
using Setter = HRESULT (IClipAttributesEditor::*)(BSTR);
struct Attribute
{
    const char* name;
    Getter get;
    Setter put;
    const char* probeTag; // how ffprobe names it, or null where it does not show it
};
const Attribute kAttributes[] = {
    {"Title", &IClipAttributesEditor::get_Title, &IClipAttributesEditor::put_Title, "title"},
    {"Author", &IClipAttributesEditor::get_Author, &IClipAttributesEditor::put_Author, "artist"},
    {"Description", &IClipAttributesEditor::get_Description,
     &IClipAttributesEditor::put_Description, "comment"},
    {"Copyright", &IClipAttributesEditor::get_Copyright, &IClipAttributesEditor::put_Copyright,
     "copyright"},
    {"Rating", &IClipAttributesEditor::get_Rating, &IClipAttributesEditor::put_Rating, nullptr},
};

} // namespace

TEST_F(ClipAttributesEditorTest, ValuesComeBackAndOtherToolsSeeThem)
{
    ASSERT_EQ(Open(clip), S_OK);
    for (const Attribute& attribute : kAttributes) {
        SCOPED_TRACE(attribute.name);
        std::string value = std::string("Grüße, ") + attribute.name + " ♪";
        ASSERT_EQ((editor.Get()->*attribute.put)(Bstr::FromUtf8(value).Get()), S_OK);
        Bstr back;
        ASSERT_EQ((editor.Get()->*attribute.get)(back.Out()), S_OK);
        EXPECT_EQ(back.Utf8(), value);
    }
    Bstr path;
    ASSERT_EQ(editor->get_FilePath(path.Out()), S_OK);
    EXPECT_EQ(path.Utf8(), clip);
    ASSERT_EQ(editor->Close(), S_OK);

    std::string tags = Probe("format_tags:format=duration");
    for (const Attribute& attribute : kAttributes) {
        if (attribute.probeTag) {
            EXPECT_NE(
                tags.find(std::string("TAG:") + attribute.probeTag + "=Grüße, " + attribute.name),
                std::string::npos)
                << tags;
        }
    }
    size_t at = tags.find("duration=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(std::atof(tags.c_str() + at + 9), 2.0, 0.1);

    // A fresh editor reads what was saved, Rating included.
    ASSERT_EQ(Open(clip), S_OK);
    Bstr rating;
    ASSERT_EQ(editor->get_Rating(rating.Out()), S_OK);
    EXPECT_EQ(rating.Utf8(), "Grüße, Rating ♪");
}

TEST_F(ClipAttributesEditorTest, AbsentNullAndEmptyValues)
{
    ASSERT_EQ(Open(clip), S_OK);
    BSTR value = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(editor->get_Copyright(&value), S_FALSE);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(editor->put_Copyright(nullptr), S_FALSE); // nothing to remove

    ASSERT_EQ(editor->put_Title(Bstr::FromUtf8("First take").Get()), S_OK);
    EXPECT_EQ(editor->put_Title(Bstr::FromUtf8("").Get()), E_FAIL);
    EXPECT_EQ(LastError(),
              "Attribute value cannot be set to an empty string\n Use NULL to clear the attribute");
    Bstr title;
    ASSERT_EQ(editor->get_Title(title.Out()), S_OK);
    EXPECT_EQ(title.Utf8(), "First take");

    ASSERT_EQ(editor->put_Title(nullptr), S_OK);
    EXPECT_EQ(editor->get_Title(title.Out()), S_FALSE);
    EXPECT_EQ(title.Get(), nullptr);
    editor->Close();
    EXPECT_EQ(Probe("format_tags").find("TAG:title"), std::string::npos);
}

TEST_F(ClipAttributesEditorTest, OpeningFailuresLeaveTheEditorClosed)
{
    std::string missing = folder / "missing.wma";
    EXPECT_EQ(Open(missing), E_INVALIDARG);
    EXPECT_EQ(LastError(), "File nor found (\"" + missing + "\")");
    BSTR path = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(editor->get_FilePath(&path), S_OK);
    EXPECT_EQ(path, nullptr);

    Bstr value;
    EXPECT_EQ(editor->get_Title(value.Out()), E_FAIL);
    EXPECT_EQ(LastError(), "No file is open");
    EXPECT_EQ(editor->put_Title(Bstr::FromUtf8("x").Get()), E_FAIL);
    EXPECT_EQ(LastError(), "No file is open");

    std::string text = folder / "notes.txt";
    audio_test::Shell("echo not a clip > '" + text + "'");
    EXPECT_TRUE(FAILED(Open(text)));
    EXPECT_EQ(LastError(), "Could not open file (\"" + text + "\")");
    EXPECT_EQ(editor->get_Title(value.Out()), E_FAIL);

    ASSERT_EQ(Open(clip), S_OK);
    EXPECT_EQ(editor->put_FilePath(Bstr::FromUtf8("").Get()), E_INVALIDARG);
    EXPECT_EQ(editor->get_FilePath(&path), S_OK);
    EXPECT_EQ(path, nullptr); // the empty path closed the open file too
    EXPECT_EQ(editor->get_Title(nullptr), E_POINTER);
}

TEST_F(ClipAttributesEditorTest, DamagedFilesFailOrOpenButNeverCrash)
{
    std::ifstream in(clip, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(bytes.size(), 1000u);
    std::mt19937 random(1208);
    std::string noise(bytes.size(), '\0');
    for (char& byte : noise)
        byte = char(random());
    std::string damagedPath = folder / "damaged.wma";
    auto write = [&](const std::string& content) {
        std::ofstream(damagedPath, std::ios::binary | std::ios::trunc) << content;
    };
    for (const std::string& content : {std::string(), noise, bytes.substr(0, 30)}) {
        write(content);
        EXPECT_TRUE(FAILED(Open(damagedPath))) << content.size();
        EXPECT_EQ(LastError(), "Could not open file (\"" + damagedPath + "\")");
    }
    for (int round = 0; round < 150; ++round) {
        std::string damaged = bytes;
        if (round % 3 == 0) {
            damaged.resize(random() % damaged.size());
        } else {
            for (int k = 0; k < 8; ++k) // the header most often
                damaged[random() % (round % 3 == 1 ? 600 : damaged.size())] = char(random());
        }
        write(damaged);
        if (FAILED(Open(damagedPath)))
            continue;
        // What opened must answer and save like any clip.
        Bstr title;
        HRESULT hr = editor->get_Title(title.Out());
        EXPECT_TRUE(hr == S_OK || hr == S_FALSE) << round;
        editor->put_Title(Bstr::FromUtf8("mended").Get());
        editor->Close();
    }
}

namespace {

// The description that the calling thread's error information holds, whatever its source.
std::string ThreadErrorText()
{
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, &info) != S_OK || !info)
        return "(none)";
    Bstr text;
    info->GetDescription(text.Out());
    return text.Utf8();
}

std::vector<char> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST_F(ClipAttributesEditorTest, PipesAndDevicesAreRefusedAtOnce)
{
    const std::string fifo = folder / "pipe.wma";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/null")}) {
        HRESULT hr = S_OK;
        std::string text;
        EXPECT_TRUE(ReturnsWithin(std::chrono::seconds(5), fifo,
                                  [&] {
                                      CoInitialize(nullptr);
                                      hr = Open(path);
                                      text = ThreadErrorText();
                                      CoUninitialize();
                                  }))
            << path << ": the editor waited on it";
        EXPECT_EQ(hr, E_INVALIDARG) << path;
        EXPECT_EQ(text, "Not a regular file (\"" + path + "\")");
        BSTR open = reinterpret_cast<BSTR>(0x1);
        EXPECT_EQ(editor->get_FilePath(&open), S_OK);
        EXPECT_EQ(open, nullptr) << path;
    }
}

TEST_F(ClipAttributesEditorTest, ASaveThatDoesNotFitFailsAndKeepsTheClip)
{
    const std::vector<char> before = FileBytes(clip);
    constexpr size_t kPage = 4096;
    const size_t clipPages = (before.size() + kPage - 1) / kPage;
    SmallFileSystem disk((2 * clipPages + 3) * kPage);
    std::string path = clip;
    HRESULT expected = HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    std::unique_ptr<ProcessFileSizeLimit> limit;
    if (disk.Mounted()) {
        path = disk / "clip.wma";
        std::filesystem::copy_file(clip, path);
    } else {
        limit = std::make_unique<ProcessFileSizeLimit>(before.size() + 3 * kPage);
        if (!limit->Active())
            GTEST_SKIP() << "this process may neither mount a small tmpfs nor lower its file "
                            "size limit, so a full disk cannot be made";
        expected = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
    }
    ASSERT_EQ(Open(path), S_OK);
    ASSERT_EQ(editor->put_Author(Bstr::FromUtf8("Ann").Get()), S_OK);
    const std::vector<char> saved = FileBytes(path);

    // A title of 30000 characters needs 60 KB more than the disk has.
    std::u16string longTitle(30000, u'x');
    EXPECT_EQ(editor->put_Title(Bstr(std::u16string_view(longTitle)).Get()), expected);
    EXPECT_TRUE(FileBytes(path) == saved) << "the failed save changed the clip";
    // What the editor answers is what the file holds, and a later save does not bring the
    // failed value back.
    Bstr title;
    EXPECT_EQ(editor->get_Title(title.Out()), S_FALSE);
    EXPECT_EQ(editor->put_Rating(Bstr::FromUtf8("5").Get()), S_OK);
    EXPECT_EQ(editor->get_Title(title.Out()), S_FALSE);
    Bstr author;
    EXPECT_EQ(editor->get_Author(author.Out()), S_OK);
    EXPECT_EQ(author.Utf8(), "Ann");
    editor->Close();
    limit.reset();
    const std::string tags = audio_test::Shell("ffprobe -v error -show_entries format_tags "
                                               "-of default=noprint_wrappers=1 '" +
                                               path + "'");
    EXPECT_NE(tags.find("TAG:artist=Ann"), std::string::npos) << tags;
    EXPECT_EQ(tags.find("TAG:title"), std::string::npos) << tags;
}
