#include "extras/tests/WmWriterDouble_win.h"

#include "extras/WmFormats_win.h"

#include <strmif.h>
#include <amvideo.h>
#include <nserror.h>
#include <wmsdkidl.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace wmdouble {
namespace {

Library* g_library = nullptr;

std::string Hex(unsigned long v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%lx", v);
    return text;
}

std::string Narrow(const wchar_t* w)
{
    std::string s;
    for (; w && *w; ++w)
        s.push_back(static_cast<char>(*w));
    return s;
}

MediaType Copy(const WM_MEDIA_TYPE* t)
{
    MediaType m;
    if (!t)
        return m;
    m.major = t->majortype;
    m.sub = t->subtype;
    m.format = t->formattype;
    if (t->pbFormat && t->cbFormat)
        m.formatBytes.assign(t->pbFormat, t->pbFormat + t->cbFormat);
    return m;
}

// Reference counting shared by every object of the double.
template <class... Interfaces>
class Counted : public Interfaces... {
public:
    Counted() { g_library->ObjectMade(); }
    virtual ~Counted() { g_library->ObjectGone(); }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }

protected:
    template <class I>
    HRESULT Give(I* p, void** out)
    {
        *out = p;
        AddRef();
        return S_OK;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

// A media type held by a stream configuration or an input, handed out in
// the caller's memory the way the library does: the format block after it.
class TypeHolder {
public:
    HRESULT Get(WM_MEDIA_TYPE* out, DWORD* size) const
    {
        const DWORD need = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + m_type.formatBytes.size());
        if (!out) {
            *size = need;
            return S_OK;
        }
        if (*size < need)
            return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
        WM_MEDIA_TYPE t{};
        t.majortype = m_type.major;
        t.subtype = m_type.sub;
        t.formattype = m_type.format;
        t.cbFormat = static_cast<ULONG>(m_type.formatBytes.size());
        t.pbFormat = reinterpret_cast<BYTE*>(out + 1);
        std::memcpy(out, &t, sizeof t);
        if (!m_type.formatBytes.empty())
            std::memcpy(out + 1, m_type.formatBytes.data(), m_type.formatBytes.size());
        *size = need;
        return S_OK;
    }
    MediaType m_type;
};

class StreamConfig : public Counted<IWMStreamConfig, IWMMediaProps> {
public:
    StreamConfig(const GUID& kind, const GUID& sub, DWORD mark)
    {
        m_stream.type.major = kind;
        m_holder.m_type.major = kind;
        m_holder.m_type.sub = sub;
        if (kind == WMMEDIATYPE_Video) {
            VIDEOINFOHEADER v{};
            v.dwBitErrorRate = mark;
            v.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            m_holder.m_type.format = kFormatVideoInfo;
            m_holder.m_type.formatBytes.assign(reinterpret_cast<uint8_t*>(&v),
                                               reinterpret_cast<uint8_t*>(&v) + sizeof v);
        }
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IWMStreamConfig)
            return Give(static_cast<IWMStreamConfig*>(this), out);
        if (iid == IID_IWMMediaProps) {
            HRESULT hr = g_library->Enter("QueryInterface IWMMediaProps");
            return FAILED(hr) ? (*out = nullptr, hr) : Give(static_cast<IWMMediaProps*>(this), out);
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* g) override
    {
        *g = m_holder.m_type.major;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* n) override
    {
        *n = m_stream.number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD n) override
    {
        m_stream.number = n;
        return g_library->Enter("SetStreamNumber", std::to_string(n));
    }
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE name) override
    {
        m_stream.name = name;
        return g_library->Enter("SetStreamName", Narrow(name));
    }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE name) override
    {
        m_stream.connection = name;
        return g_library->Enter("SetConnectionName", Narrow(name));
    }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* b) override
    {
        *b = m_stream.bitrate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD b) override
    {
        m_stream.bitrate = b;
        return g_library->Enter("SetBitrate", std::to_string(b));
    }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD* w) override
    {
        *w = m_stream.bufferWindow;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD w) override
    {
        m_stream.bufferWindow = w;
        return g_library->Enter("SetBufferWindow", std::to_string(w));
    }
    HRESULT STDMETHODCALLTYPE GetType(GUID* g) override
    {
        *g = m_holder.m_type.major;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* t, DWORD* size) override
    {
        return m_holder.Get(t, size);
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* t) override
    {
        HRESULT hr = g_library->Enter("StreamConfig SetMediaType");
        if (SUCCEEDED(hr))
            m_holder.m_type = m_stream.type = Copy(t);
        return hr;
    }
    Stream Recorded() const { return m_stream; }

private:
    Stream m_stream;
    TypeHolder m_holder;
};

class Profile : public Counted<IWMProfile> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IWMProfile)
            return Give(static_cast<IWMProfile*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION* v) override
    {
        *v = WMT_VER_9_0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStream(DWORD, IWMStreamConfig**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD, IWMStreamConfig**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig* config) override
    {
        HRESULT hr = g_library->Enter("AddStream");
        if (SUCCEEDED(hr))
            g_library->AddStream(static_cast<StreamConfig*>(config)->Recorded());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID kind, IWMStreamConfig** out) override
    {
        HRESULT hr = g_library->Enter("CreateNewStream", kind == WMMEDIATYPE_Audio ? "audio" : "other");
        *out = SUCCEEDED(hr) ? new StreamConfig(kind, GUID_NULL, 0) : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion**) override { return E_NOTIMPL; }
};

class ProfileManager : public Counted<IWMProfileManager2, IWMCodecInfo> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IWMProfileManager)
            return Give(static_cast<IWMProfileManager2*>(this), out);
        const char* step = iid == IID_IWMProfileManager2 ? "QueryInterface IWMProfileManager2"
                           : iid == IID_IWMCodecInfo     ? "QueryInterface IWMCodecInfo"
                                                         : nullptr;
        if (!step)
            return E_NOINTERFACE;
        HRESULT hr = g_library->Enter(step);
        if (FAILED(hr))
            return hr;
        if (iid == IID_IWMProfileManager2)
            return Give(static_cast<IWMProfileManager2*>(this), out);
        return Give(static_cast<IWMCodecInfo*>(this), out);
    }
    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION v, IWMProfile** out) override
    {
        HRESULT hr = g_library->Enter("CreateEmptyProfile", Hex(v));
        *out = SUCCEEDED(hr) ? new Profile : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR*, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileVersion(WMT_VERSION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSystemProfileVersion(WMT_VERSION v) override
    {
        return g_library->Enter("SetSystemProfileVersion", Hex(v));
    }
    // Two video codecs: WMV1 and MSS1 formats first, then WMV2, WMV3 (the
    // one to take: codec 1, format 1) and another WMV3.
    HRESULT STDMETHODCALLTYPE GetCodecInfoCount(REFGUID kind, DWORD* count) override
    {
        *count = kind == WMMEDIATYPE_Video ? 2 : 0;
        return g_library->Enter("GetCodecInfoCount");
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormatCount(REFGUID, DWORD codec, DWORD* count) override
    {
        *count = codec == 0 ? 2 : 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCodecFormat(REFGUID kind, DWORD codec, DWORD format, IWMStreamConfig** out) override
    {
        static const GUID* subtypes[2][3] = {{&WMMEDIASUBTYPE_WMV1, &WMMEDIASUBTYPE_MSS1, nullptr},
                                             {&WMMEDIASUBTYPE_WMV2, &WMMEDIASUBTYPE_WMV3, &WMMEDIASUBTYPE_WMV3}};
        if (codec > 1 || format > (codec == 0 ? 1u : 2u)) {
            *out = nullptr;
            return E_INVALIDARG;
        }
        *out = new StreamConfig(kind, *subtypes[codec][format], 100 * codec + format);
        return S_OK;
    }
};

class InputProps : public Counted<IWMInputMediaProps> {
public:
    explicit InputProps(const GUID& kind) { m_holder.m_type.major = kind; }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IWMMediaProps || iid == IID_IWMInputMediaProps)
            return Give(static_cast<IWMInputMediaProps*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetType(GUID* g) override
    {
        HRESULT hr = g_library->Enter("InputProps GetType");
        *g = m_holder.m_type.major;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* t, DWORD* size) override
    {
        return m_holder.Get(t, size);
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE* t) override
    {
        HRESULT hr = g_library->Enter("InputProps SetMediaType");
        if (SUCCEEDED(hr))
            m_holder.m_type = Copy(t);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetGroupName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    const MediaType& Type() const { return m_holder.m_type; }

private:
    TypeHolder m_holder;
};

class Buffer : public Counted<INSSBuffer> {
public:
    explicit Buffer(DWORD size) : m_bytes(g_library->TakeStorage(size)), m_length(0) {}
    ~Buffer() override { g_library->GiveBackStorage(std::move(m_bytes)); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_INSSBuffer)
            return Give(static_cast<INSSBuffer*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE GetLength(DWORD* n) override
    {
        *n = m_length;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLength(DWORD n) override
    {
        if (n > m_bytes.size())
            return E_INVALIDARG;
        m_length = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD* n) override
    {
        *n = static_cast<DWORD>(m_bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(BYTE** p) override
    {
        *p = m_bytes.data();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferAndLength(BYTE** p, DWORD* n) override
    {
        *p = m_bytes.data();
        *n = m_length;
        return S_OK;
    }
    std::vector<uint8_t> Bytes() const { return {m_bytes.begin(), m_bytes.begin() + m_length}; }
    uint32_t Head() const
    {
        uint32_t head = 0;
        if (m_length >= sizeof(head))
            std::memcpy(&head, m_bytes.data(), sizeof(head));
        return head;
    }

private:
    std::vector<uint8_t> m_bytes;
    DWORD m_length;
};

class Writer : public Counted<IWMWriter> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IWMWriter)
            return Give(static_cast<IWMWriter*>(this), out);
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE SetProfileByID(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetProfile(IWMProfile*) override { return g_library->Enter("SetProfile"); }
    HRESULT STDMETHODCALLTYPE SetOutputFilename(const WCHAR* name) override
    {
        HRESULT hr = g_library->Enter("SetOutputFilename");
        if (SUCCEEDED(hr))
            g_library->SetOutputFile(name);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetInputCount(DWORD* n) override
    {
        *n = 2;
        return g_library->Enter("GetInputCount");
    }
    HRESULT STDMETHODCALLTYPE GetInputProps(DWORD input, IWMInputMediaProps** out) override
    {
        HRESULT hr = g_library->Enter("GetInputProps", std::to_string(input));
        if (FAILED(hr) || input > 1) {
            *out = nullptr;
            return FAILED(hr) ? hr : E_INVALIDARG;
        }
        const bool video = input == Library::kVideoInput && !g_library->NoVideo();
        *out = new InputProps(video ? WMMEDIATYPE_Video : WMMEDIATYPE_Audio);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetInputProps(DWORD input, IWMInputMediaProps* props) override
    {
        HRESULT hr = g_library->Enter("SetInputProps", std::to_string(input));
        if (SUCCEEDED(hr) && input == Library::kVideoInput)
            g_library->SetVideoInputType(static_cast<InputProps*>(props)->Type());
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetInputFormatCount(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInputFormat(DWORD, DWORD, IWMInputMediaProps**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginWriting() override { return g_library->Enter("BeginWriting"); }
    HRESULT STDMETHODCALLTYPE EndWriting() override { return g_library->Enter("EndWriting"); }
    HRESULT STDMETHODCALLTYPE AllocateSample(DWORD size, INSSBuffer** out) override
    {
        HRESULT hr = g_library->Enter("AllocateSample", std::to_string(size));
        *out = SUCCEEDED(hr) ? new Buffer(size) : nullptr;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE WriteSample(DWORD input, QWORD time, DWORD flags, INSSBuffer* sample) override
    {
        HRESULT hr = g_library->Enter("WriteSample", std::to_string(input));
        if (SUCCEEDED(hr) && input == Library::kVideoInput)
            hr = g_library->NextVideoWrite();
        if (SUCCEEDED(hr) || hr == NS_E_LATE_OPERATION) {
            const Buffer* buffer = static_cast<Buffer*>(sample);
            g_library->AddSample({input, time, flags,
                                  g_library->KeepsSampleBytes() ? buffer->Bytes() : std::vector<uint8_t>(),
                                  buffer->Head(), std::chrono::steady_clock::now()});
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Flush() override { return E_NOTIMPL; }
};

HRESULT WINAPI CreateProfileManager(IWMProfileManager** out)
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    g_library->NoteComInFactory(SUCCEEDED(CoGetApartmentType(&type, &qualifier)));
    HRESULT hr = g_library->Enter("WMCreateProfileManager");
    *out = SUCCEEDED(hr) ? static_cast<IWMProfileManager*>(static_cast<IWMProfileManager2*>(new ProfileManager))
                         : nullptr;
    return hr;
}

HRESULT WINAPI CreateWriter(IUnknown*, IWMWriter** out)
{
    HRESULT hr = g_library->Enter("WMCreateWriter");
    *out = SUCCEEDED(hr) ? new Writer : nullptr;
    return hr;
}

} // namespace

Library::Library()
{
    g_library = this;
}

Library::~Library()
{
    g_library = nullptr;
}

WmWriterBinding Library::Binding() const
{
    WmWriterBinding b;
    b.createProfileManager = CreateProfileManager;
    b.createWriter = CreateWriter;
    return b;
}

void Library::FailAt(const std::string& step, HRESULT hr)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_failures[step] = hr;
}

void Library::ScriptVideoWrites(std::deque<HRESULT> results)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_videoWrites = std::move(results);
}

void Library::ThrowAt(const std::string& step)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_throwAt = step;
}

void Library::DelayAt(const std::string& step, unsigned ms)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_delayAt = step;
    m_delayMs = ms;
}

HRESULT Library::Enter(const std::string& step, const std::string& args)
{
    unsigned delay = 0;
    {
        std::lock_guard<std::mutex> l(m_lock);
        if (step == m_delayAt)
            delay = m_delayMs;
    }
    if (delay)
        Sleep(delay);
    std::lock_guard<std::mutex> l(m_lock);
    m_calls.push_back(args.empty() ? step : step + " " + args);
    if (step == m_throwAt) {
        m_throwAt.clear();
        throw std::runtime_error("scripted failure in " + step);
    }
    auto f = m_failures.find(step);
    if (f == m_failures.end())
        return S_OK;
    HRESULT hr = f->second;
    m_failures.erase(f);
    return hr;
}

HRESULT Library::NextVideoWrite()
{
    std::lock_guard<std::mutex> l(m_lock);
    if (m_videoWrites.empty())
        return S_OK;
    HRESULT hr = m_videoWrites.front();
    m_videoWrites.pop_front();
    return hr;
}

std::vector<std::string> Library::Calls() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_calls;
}

bool Library::Called(const std::string& step) const
{
    std::lock_guard<std::mutex> l(m_lock);
    for (const std::string& c : m_calls)
        if (c == step || c.rfind(step + " ", 0) == 0)
            return true;
    return false;
}

void Library::AddStream(const Stream& s)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_streams.push_back(s);
}

std::vector<Stream> Library::Streams() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_streams;
}

void Library::SetVideoInputType(const MediaType& t)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_videoInput = t;
}

MediaType Library::VideoInputType() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_videoInput;
}

void Library::SetOutputFile(const std::wstring& f)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_file = f;
}

std::wstring Library::OutputFile() const
{
    std::lock_guard<std::mutex> l(m_lock);
    return m_file;
}

void Library::AddSample(Sample s)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_samples.push_back(std::move(s));
}

std::vector<uint8_t> Library::TakeStorage(DWORD size)
{
    std::lock_guard<std::mutex> l(m_lock);
    auto& spare = m_storage[size];
    if (spare.empty())
        return std::vector<uint8_t>(size);
    std::vector<uint8_t> storage = std::move(spare.back());
    spare.pop_back();
    return storage;
}

void Library::GiveBackStorage(std::vector<uint8_t> storage)
{
    std::lock_guard<std::mutex> l(m_lock);
    m_storage[storage.size()].push_back(std::move(storage));
}

std::vector<Sample> Library::Samples(DWORD input) const
{
    std::lock_guard<std::mutex> l(m_lock);
    std::vector<Sample> out;
    for (const Sample& s : m_samples)
        if (s.input == input)
            out.push_back(s);
    return out;
}

size_t Library::SampleCount(DWORD input) const
{
    std::lock_guard<std::mutex> l(m_lock);
    size_t n = 0;
    for (const Sample& s : m_samples)
        n += s.input == input;
    return n;
}

} // namespace wmdouble
