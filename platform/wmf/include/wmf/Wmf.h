// The Windows Media Format services the engine uses: the profile manager with its system
// profile catalogue, profiles and their stream configurations, and the metadata editor with its
// header interfaces. Interfaces keep the Windows IIDs and method order.
//
// Threads: every object is used on the thread that created it. The system profile catalogue is
// immutable, so managers on different threads may read it at the same time.
//
// Methods the product does not need answer E_NOTIMPL and say so below; nothing pretends to
// succeed. Strings are UTF-16 (WCHAR). A method that hands out a string follows the two-call
// protocol: a null buffer asks for the length in characters including the terminator, a buffer
// too short gives ASF_E_BUFFERTOOSMALL with the length needed.
#pragma once

#include "com/Unknown.h"
#include "wmf/WmfErrors.h"

using QWORD = uint64_t;

// The version of a profile and of the system profile catalogue.
enum WMT_VERSION : DWORD
{
    WMT_VER_4_0 = 0x40000,
    WMT_VER_7_0 = 0x70000,
    WMT_VER_8_0 = 0x80000,
    WMT_VER_9_0 = 0x90000,
};

// The type of an attribute value and the bytes it takes:
// DWORD 4, STRING UTF-16 with its terminator, BINARY any, BOOL 4 (a BOOL), QWORD 8, WORD 2,
// GUID 16.
enum WMT_ATTR_DATATYPE : DWORD
{
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

enum WMT_CODEC_INFO_TYPE : DWORD
{
    WMT_CODECINFO_AUDIO = 0,
    WMT_CODECINFO_VIDEO = 1,
    WMT_CODECINFO_UNKNOWN = 0xFFFFFFFF,
};

// Stream types of IWMStreamConfig::GetStreamType (the DirectShow major types).
inline constexpr GUID WMMEDIATYPE_Audio = MakeGuid("73647561-0000-0010-8000-00AA00389B71");
inline constexpr GUID WMMEDIATYPE_Video = MakeGuid("73646976-0000-0010-8000-00AA00389B71");

// Attribute names of the five descriptive attributes that live in the content description.
inline constexpr const WCHAR* g_wszWMTitle = u"Title";
inline constexpr const WCHAR* g_wszWMAuthor = u"Author";
inline constexpr const WCHAR* g_wszWMDescription = u"Description";
inline constexpr const WCHAR* g_wszWMRating = u"Rating";
inline constexpr const WCHAR* g_wszWMCopyright = u"Copyright";

struct IWMProfile;
struct IWMStreamConfig;
struct IWMMutualExclusion; // never handed out: catalogue profiles have no mutual exclusions

// Creates profiles: from the system catalogue by index or by GUID.
struct IWMProfileManager : IUnknown
{
    // E_NOTIMPL: only catalogue profiles exist here.
    virtual HRESULT CreateEmptyProfile(WMT_VERSION dwVersion, IWMProfile** ppProfile) = 0;
    // The catalogue profile of any version with that GUID; E_INVALIDARG when there is none.
    virtual HRESULT LoadProfileByID(REFGUID guidProfile, IWMProfile** ppProfile) = 0;
    // E_NOTIMPL: there is no profile text format here.
    virtual HRESULT LoadProfileByData(const WCHAR* pwszProfile, IWMProfile** ppProfile) = 0;
    // E_NOTIMPL: there is no profile text format here.
    virtual HRESULT SaveProfile(IWMProfile* pIWMProfile, WCHAR* pwszProfile, DWORD* pdwLength) = 0;
    // The number of profiles of the current system profile version.
    virtual HRESULT GetSystemProfileCount(DWORD* pcProfiles) = 0;
    // Profile dwProfileIndex of the current version; E_INVALIDARG past the end.
    virtual HRESULT LoadSystemProfile(DWORD dwProfileIndex, IWMProfile** ppProfile) = 0;

protected:
    ~IWMProfileManager() = default;
};
QUILLET_DECLARE_IID(IWMProfileManager, "D16679F2-6CA0-472D-8D31-2F5D55AEE155");

// Chooses the version of the system catalogue: 4.0, 7.0, 8.0 (the default) or 9.0, whose
// catalogue is empty. Any other value gives E_INVALIDARG and keeps the current version.
struct IWMProfileManager2 : IWMProfileManager
{
    virtual HRESULT GetSystemProfileVersion(WMT_VERSION* pdwVersion) = 0;
    virtual HRESULT SetSystemProfileVersion(WMT_VERSION dwVersion) = 0;

protected:
    ~IWMProfileManager2() = default;
};
QUILLET_DECLARE_IID(IWMProfileManager2, "7A924E51-73C1-494D-8019-23D37ED9B89A");

// A profile: a copy of one catalogue entry. Name and description may be changed on the copy;
// the stream list may not (those methods answer E_NOTIMPL).
struct IWMProfile : IUnknown
{
    virtual HRESULT GetVersion(WMT_VERSION* pdwVersion) = 0;
    virtual HRESULT GetName(WCHAR* pwszName, DWORD* pcchName) = 0;
    virtual HRESULT SetName(const WCHAR* pwszName) = 0;
    virtual HRESULT GetDescription(WCHAR* pwszDescription, DWORD* pcchDescription) = 0;
    virtual HRESULT SetDescription(const WCHAR* pwszDescription) = 0;
    virtual HRESULT GetStreamCount(DWORD* pcStreams) = 0;
    // A new copy of stream dwStreamIndex (0-based); E_INVALIDARG past the end.
    virtual HRESULT GetStream(DWORD dwStreamIndex, IWMStreamConfig** ppConfig) = 0;
    // A new copy of the stream numbered wStreamNum (numbers start at 1); E_INVALIDARG if none.
    virtual HRESULT GetStreamByNumber(WORD wStreamNum, IWMStreamConfig** ppConfig) = 0;
    virtual HRESULT RemoveStream(IWMStreamConfig* pConfig) = 0;   // E_NOTIMPL
    virtual HRESULT RemoveStreamByNumber(WORD wStreamNum) = 0;    // E_NOTIMPL
    virtual HRESULT AddStream(IWMStreamConfig* pConfig) = 0;      // E_NOTIMPL
    virtual HRESULT ReconfigStream(IWMStreamConfig* pConfig) = 0; // E_NOTIMPL
    virtual HRESULT CreateNewStream(REFGUID guidStreamType,
                                    IWMStreamConfig** ppConfig) = 0; // E_NOTIMPL
    virtual HRESULT GetMutualExclusionCount(DWORD* pcME) = 0;        // always 0
    virtual HRESULT GetMutualExclusion(DWORD dwMEIndex,
                                       IWMMutualExclusion** ppME) = 0;       // E_INVALIDARG
    virtual HRESULT RemoveMutualExclusion(IWMMutualExclusion* pME) = 0;      // E_NOTIMPL
    virtual HRESULT AddMutualExclusion(IWMMutualExclusion* pME) = 0;         // E_NOTIMPL
    virtual HRESULT CreateNewMutualExclusion(IWMMutualExclusion** ppME) = 0; // E_NOTIMPL

protected:
    ~IWMProfile() = default;
};
QUILLET_DECLARE_IID(IWMProfile, "96406BDB-2B2B-11D3-B36B-00C04F6108FF");

struct IWMProfile2 : IWMProfile
{
    // The GUID that LoadProfileByID takes.
    virtual HRESULT GetProfileID(GUID* pguidID) = 0;

protected:
    ~IWMProfile2() = default;
};
QUILLET_DECLARE_IID(IWMProfile2, "07E72D33-D94E-4BE7-8843-60AE5FF7E5F5");

// One stream of a profile: a copy; changing it does not change the profile.
struct IWMStreamConfig : IUnknown
{
    // WMMEDIATYPE_Audio or WMMEDIATYPE_Video.
    virtual HRESULT GetStreamType(GUID* pguidStreamType) = 0;
    virtual HRESULT GetStreamNumber(WORD* pwStreamNum) = 0;
    // 1 to 63; anything else gives E_INVALIDARG.
    virtual HRESULT SetStreamNumber(WORD wStreamNum) = 0;
    virtual HRESULT GetStreamName(WCHAR* pwszStreamName, WORD* pcchStreamName) = 0;
    virtual HRESULT SetStreamName(const WCHAR* pwszStreamName) = 0;
    virtual HRESULT GetConnectionName(WCHAR* pwszInputName, WORD* pcchInputName) = 0;
    virtual HRESULT SetConnectionName(const WCHAR* pwszInputName) = 0;
    // Bits per second.
    virtual HRESULT GetBitrate(DWORD* pdwBitrate) = 0;
    virtual HRESULT SetBitrate(DWORD pdwBitrate) = 0;
    // Milliseconds.
    virtual HRESULT GetBufferWindow(DWORD* pmsBufferWindow) = 0;
    virtual HRESULT SetBufferWindow(DWORD msBufferWindow) = 0;

protected:
    ~IWMStreamConfig() = default;
};
QUILLET_DECLARE_IID(IWMStreamConfig, "96406BDC-2B2B-11D3-B36B-00C04F6108FF");

// Edits the header of an existing ASF file. Open holds the file open until Close; Flush writes
// the changes into the file and keeps it open, so that later edits go on through the same
// object. Close drops changes not flushed. Before Open (and after Close) the header calls give
// NS_E_INVALID_REQUEST.
struct IWMMetadataEditor : IUnknown
{
    // NS_E_FILE_NOT_FOUND for a missing file, NS_E_INVALID_INPUT_FORMAT for a file that is not
    // a sound ASF file, NS_E_INVALID_REQUEST when a file is already open.
    virtual HRESULT Open(const WCHAR* pwszFilename) = 0;
    virtual HRESULT Close() = 0;
    // E_ACCESSDENIED when the file cannot be written; S_OK without writing when nothing changed.
    virtual HRESULT Flush() = 0;

protected:
    ~IWMMetadataEditor() = default;
};
QUILLET_DECLARE_IID(IWMMetadataEditor, "96406BD9-2B2B-11D3-B36B-00C04F6108FF");

// The attributes of the open file. Stream number 0 is the file itself. Each attribute name may
// be stored several times, once per language; indices count the stored instances of one stream
// in a stable order: deleting an instance leaves the indices below it valid.
struct IWMHeaderInfo : IUnknown
{
    virtual HRESULT GetAttributeCount(WORD wStreamNum, WORD* pcAttributes) = 0;
    virtual HRESULT GetAttributeByIndex(WORD wIndex, WORD* pwStreamNum, WCHAR* pwszName,
                                        WORD* pcchNameLen, WMT_ATTR_DATATYPE* pType, BYTE* pValue,
                                        WORD* pcbLength) = 0;
    // The value of the named attribute (the neutral-language instance first); a null pValue asks
    // for the byte length. ASF_E_NOTFOUND when absent. Values over 65535 bytes are reachable
    // only through GetAttributeByIndexEx.
    virtual HRESULT GetAttributeByName(WORD* pwStreamNum, const WCHAR* pszName,
                                       WMT_ATTR_DATATYPE* pType, BYTE* pValue, WORD* pcbLength) = 0;
    // Replaces the neutral-language instance of the attribute, or adds one. A string value
    // may come with or without its terminator; an empty string is a value like any other.
    virtual HRESULT SetAttribute(WORD wStreamNum, const WCHAR* pszName, WMT_ATTR_DATATYPE Type,
                                 const BYTE* pValue, WORD cbLength) = 0;
    virtual HRESULT GetMarkerCount(WORD* pcMarkers) = 0; // E_NOTIMPL
    virtual HRESULT GetMarker(WORD wIndex, WCHAR* pwszMarkerName, WORD* pcchMarkerNameLen,
                              QWORD* pcnsMarkerTime) = 0;                            // E_NOTIMPL
    virtual HRESULT AddMarker(const WCHAR* pwszMarkerName, QWORD cnsMarkerTime) = 0; // E_NOTIMPL
    virtual HRESULT RemoveMarker(WORD wIndex) = 0;                                   // E_NOTIMPL
    virtual HRESULT GetScriptCount(WORD* pcScripts) = 0;                             // E_NOTIMPL
    virtual HRESULT GetScript(WORD wIndex, WCHAR* pwszType, WORD* pcchTypeLen, WCHAR* pwszCommand,
                              WORD* pcchCommandLen,
                              QWORD* pcnsScriptTime) = 0; // E_NOTIMPL
    virtual HRESULT AddScript(const WCHAR* pwszType, const WCHAR* pwszCommand,
                              QWORD cnsScriptTime) = 0; // E_NOTIMPL
    virtual HRESULT RemoveScript(WORD wIndex) = 0;      // E_NOTIMPL

protected:
    ~IWMHeaderInfo() = default;
};
QUILLET_DECLARE_IID(IWMHeaderInfo, "96406BDA-2B2B-11D3-B36B-00C04F6108FF");

struct IWMHeaderInfo2 : IWMHeaderInfo
{
    virtual HRESULT GetCodecInfoCount(DWORD* pcCodecInfos) = 0; // E_NOTIMPL
    virtual HRESULT GetCodecInfo(DWORD wIndex, WORD* pcchName, WCHAR* pwszName,
                                 WORD* pcchDescription, WCHAR* pwszDescription,
                                 WMT_CODEC_INFO_TYPE* pCodecType, WORD* pcbCodecInfo,
                                 BYTE* pbCodecInfo) = 0; // E_NOTIMPL

protected:
    ~IWMHeaderInfo2() = default;
};
QUILLET_DECLARE_IID(IWMHeaderInfo2, "15CF9781-454E-482E-B393-85FAE487A810");

struct IWMHeaderInfo3 : IWMHeaderInfo2
{
    virtual HRESULT GetAttributeCountEx(WORD wStreamNum, WORD* pcAttributes) = 0;
    // The indices of every stored instance of the name, of one language or (pwLangIndex null)
    // of all; a null pwIndices asks for the count. ASF_E_BUFFERTOOSMALL when *pwCount is short.
    virtual HRESULT GetAttributeIndices(WORD wStreamNum, const WCHAR* pwszName, WORD* pwLangIndex,
                                        WORD* pwIndices, WORD* pwCount) = 0;
    virtual HRESULT GetAttributeByIndexEx(WORD wStreamNum, WORD wIndex, WCHAR* pwszName,
                                          WORD* pwNameLen, WMT_ATTR_DATATYPE* pType,
                                          WORD* pwLangIndex, BYTE* pValue,
                                          DWORD* pdwDataLength) = 0;
    virtual HRESULT ModifyAttribute(WORD wStreamNum, WORD wIndex, WMT_ATTR_DATATYPE Type,
                                    WORD wLangIndex, const BYTE* pValue, DWORD dwLength) = 0;
    virtual HRESULT AddAttribute(WORD wStreamNum, const WCHAR* pszName, WORD* pwIndex,
                                 WMT_ATTR_DATATYPE Type, WORD wLangIndex, const BYTE* pValue,
                                 DWORD dwLength) = 0;
    // Removes one instance; ASF_E_NOTFOUND past the end.
    virtual HRESULT DeleteAttribute(WORD wStreamNum, WORD wIndex) = 0;
    virtual HRESULT AddCodecInfo(const WCHAR* pwszName, const WCHAR* pwszDescription,
                                 WMT_CODEC_INFO_TYPE codecType, WORD cbCodecInfo,
                                 BYTE* pbCodecInfo) = 0; // E_NOTIMPL

protected:
    ~IWMHeaderInfo3() = default;
};
QUILLET_DECLARE_IID(IWMHeaderInfo3, "15CC68E3-27CC-4ECD-B222-3F5D02D80BD5");

// A new profile manager, at system profile version 8.0. Any thread; the manager stays there.
extern "C" HRESULT WMCreateProfileManager(IWMProfileManager** ppProfileManager);
// A new metadata editor with no file open. Any thread; the editor stays there.
extern "C" HRESULT WMCreateEditor(IWMMetadataEditor** ppEditor);
