#include "extras/WmMediaWriter.h"

#include "core/base/DHLog.h"
#include "extras/RecordingFrameSize.h"
#include "extras/RecordingTimeline.h"
#include "extras/WmFormats_win.h"

#include <mmreg.h>
#include <nserror.h>
#include <strmif.h>
#include <amvideo.h>

#include <cstring>
#include <vector>

namespace {

constexpr uint8_t kLogRecording = 0x80;
constexpr DWORD kVideoBitRate = 500000;
constexpr DWORD kBufferWindowMs = 3000;

void Log(int level, const char* text)
{
    DHLog::Instance().Print(kLogRecording, level, false, "%s", text);
}

// A media type as a stream configuration holds it, read into memory of our
// own: the format block must lie inside what the call gave.
class MediaTypeCopy {
public:
    HRESULT Read(IWMMediaProps* props)
    {
        DWORD size = 0;
        HRESULT hr = props->GetMediaType(nullptr, &size);
        if (FAILED(hr))
            return hr;
        if (size < sizeof(WM_MEDIA_TYPE) || size > 64 * 1024)
            return E_UNEXPECTED;
        m_bytes.assign(size, 0);
        hr = props->GetMediaType(Type(), &size);
        if (FAILED(hr))
            return hr;
        return size <= m_bytes.size() ? S_OK : E_UNEXPECTED;
    }
    WM_MEDIA_TYPE* Type() { return reinterpret_cast<WM_MEDIA_TYPE*>(m_bytes.data()); }
    // The format block when it is a VIDEOINFOHEADER inside the copy.
    VIDEOINFOHEADER* VideoInfo()
    {
        WM_MEDIA_TYPE* t = Type();
        const uint8_t* begin = m_bytes.data();
        const uint8_t* end = begin + m_bytes.size();
        if (t->formattype != kFormatVideoInfo || t->cbFormat < sizeof(VIDEOINFOHEADER) || !t->pbFormat)
            return nullptr;
        if (t->pbFormat < begin + sizeof(WM_MEDIA_TYPE) || t->pbFormat > end ||
            static_cast<size_t>(end - t->pbFormat) < t->cbFormat)
            return nullptr;
        return reinterpret_cast<VIDEOINFOHEADER*>(t->pbFormat);
    }

private:
    std::vector<uint8_t> m_bytes;  // pointer-aligned by the allocator
};

const GUID* RgbSubtype(int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 16: return &WMMEDIASUBTYPE_RGB555;
    case 24: return &WMMEDIASUBTYPE_RGB24;
    case 32: return &WMMEDIASUBTYPE_RGB32;
    default: return nullptr;
    }
}

} // namespace

BITMAPINFOHEADER FrameBitmapHeader(int32_t width, int32_t height, int bitsPerPixel)
{
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bitsPerPixel);
    h.biCompression = BI_RGB;
    h.biSizeImage = FrameImageBytes(width, height, bitsPerPixel);
    return h;
}

const char* WriterErrorName(HRESULT hr)
{
    switch (hr) {
    case NS_E_INVALID_OUTPUT_FORMAT: return "NS_E_INVALID_OUTPUT_FORMAT";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_INVALIDARG: return "E_INVALIDARG";
    case NS_E_AUDIO_CODEC_NOT_INSTALLED: return "NS_E_AUDIO_CODEC_NOT_INSTALLED";
    case NS_E_VIDEO_CODEC_NOT_INSTALLED: return "NS_E_VIDEO_CODEC_NOT_INSTALLED";
    case NS_E_AUDIO_CODEC_ERROR: return "NS_E_AUDIO_CODEC_ERROR";
    case NS_E_VIDEO_CODEC_ERROR: return "NS_E_VIDEO_CODEC_ERROR";
    case NS_E_INVALID_DATA: return "NS_E_INVALID_DATA";
    case NS_E_TOO_MUCH_DATA: return "NS_E_TOO_MUCH_DATA";
    case NS_E_INVALID_NUM_PASSES: return "NS_E_INVALID_NUM_PASSES";
    default: return "unknown error";
    }
}

WmMediaWriter::WmMediaWriter(WmWriterBinding binding) : m_binding(std::move(binding)) {}

WmMediaWriter::~WmMediaWriter()
{
    End();
}

bool WmMediaWriter::Fail(const char* text, HRESULT hr)
{
    m_errorText = text;
    m_errorCode = hr;
    DHLog::Instance().Print(kLogRecording, 1, false, "%s (0x%08lX)\n", text, static_cast<unsigned long>(hr));
    EndLocked();
    return false;
}

bool WmMediaWriter::Init(int32_t width, int32_t height, int fps, const std::wstring& file)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_binding.Available())
        return Fail("Unable to Create WindowsMedia Profile Manager", E_NOINTERFACE);
    HRESULT hr = m_binding.createProfileManager(m_manager.Out());
    if (FAILED(hr) || !m_manager)
        return Fail("Unable to Create WindowsMedia Profile Manager", FAILED(hr) ? hr : E_POINTER);
    ComRef<IWMProfileManager2> manager2;
    hr = m_manager->QueryInterface(IID_IWMProfileManager2, manager2.OutVoid());
    if (FAILED(hr))
        return Fail("Unable to Query Interface for ProfileManager2", hr);
    hr = manager2->SetSystemProfileVersion(WMT_VER_9_0);
    if (FAILED(hr))
        return Fail("Unable to Set System Profile Version", hr);

    ComRef<IWMStreamConfig> video;
    if (!FindVideoCodecFormat(m_manager.get(), video))
        return false;
    hr = m_manager->CreateEmptyProfile(WMT_VER_9_0, m_profile.Out());
    if (FAILED(hr))
        return Fail("Unable to create a profile", hr);
    if (!AddVideoStream(m_profile.get(), video.get(), width, height, fps) || !AddAudioStream(m_profile.get()))
        return false;

    hr = m_binding.createWriter(nullptr, m_writer.Out());
    if (FAILED(hr) || !m_writer)
        return Fail("Unable to Create Media Writer Object", FAILED(hr) ? hr : E_POINTER);
    hr = m_writer->SetProfile(m_profile.get());
    if (FAILED(hr))
        return Fail("Unable to Set System Profile", hr);
    if (!FindInputs())
        return false;
    hr = m_writer->SetOutputFilename(file.c_str());
    if (FAILED(hr))
        return Fail("Unable to Set Output Filename", hr);
    return true;
}

bool WmMediaWriter::FindVideoCodecFormat(IWMProfileManager* manager, ComRef<IWMStreamConfig>& found)
{
    ComRef<IWMCodecInfo> info;
    HRESULT hr = manager->QueryInterface(IID_IWMCodecInfo, info.OutVoid());
    if (FAILED(hr))
        return Fail("Failed to Get the IWMCodecInfo Interface.", hr);
    DWORD codecs = 0;
    hr = info->GetCodecInfoCount(WMMEDIATYPE_Video, &codecs);
    if (FAILED(hr))
        return Fail("Unable to create a profile", hr);
    for (DWORD c = 0; c < codecs; ++c) {
        DWORD formats = 0;
        if (FAILED(info->GetCodecFormatCount(WMMEDIATYPE_Video, c, &formats)))
            continue;
        for (DWORD f = 0; f < formats; ++f) {
            ComRef<IWMStreamConfig> config;
            if (FAILED(info->GetCodecFormat(WMMEDIATYPE_Video, c, f, config.Out())) || !config)
                continue;
            ComRef<IWMMediaProps> props;
            MediaTypeCopy type;
            if (FAILED(config->QueryInterface(IID_IWMMediaProps, props.OutVoid())) || FAILED(type.Read(props.get())))
                continue;
            if (type.Type()->subtype == WMMEDIASUBTYPE_WMV3) {
                found = std::move(config);
                return true;
            }
        }
    }
    return Fail("Unable to create a profile", NS_E_VIDEO_CODEC_NOT_INSTALLED);
}

bool WmMediaWriter::AddVideoStream(IWMProfile* profile, IWMStreamConfig* config, int32_t width, int32_t height,
                                   int fps)
{
    ComRef<IWMMediaProps> props;
    MediaTypeCopy type;
    HRESULT hr = config->QueryInterface(IID_IWMMediaProps, props.OutVoid());
    if (SUCCEEDED(hr))
        hr = type.Read(props.get());
    VIDEOINFOHEADER* vih = SUCCEEDED(hr) ? type.VideoInfo() : nullptr;
    if (!vih)
        return Fail("Unable to create a profile", FAILED(hr) ? hr : E_UNEXPECTED);
    vih->dwBitRate = kVideoBitRate;
    vih->AvgTimePerFrame = ProfileTimePerFrame(fps);
    vih->rcSource = RECT{0, 0, width, height};
    vih->rcTarget = vih->rcSource;
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    const HRESULT steps[] = {
        props->SetMediaType(type.Type()),
        config->SetStreamNumber(1),
        config->SetStreamName(const_cast<WCHAR*>(L"Screen")),
        config->SetConnectionName(const_cast<WCHAR*>(L"Screen")),
        config->SetBitrate(kVideoBitRate),
        config->SetBufferWindow(kBufferWindowMs),
        profile->AddStream(config),
    };
    for (HRESULT step : steps)
        if (FAILED(step))
            return Fail("Unable to create a profile", step);
    return true;
}

bool WmMediaWriter::AddAudioStream(IWMProfile* profile)
{
    ComRef<IWMStreamConfig> config;
    HRESULT hr = profile->CreateNewStream(WMMEDIATYPE_Audio, config.Out());
    ComRef<IWMMediaProps> props;
    if (SUCCEEDED(hr))
        hr = config->QueryInterface(IID_IWMMediaProps, props.OutVoid());
    if (FAILED(hr))
        return Fail("Unable to create a profile", hr);
    WAVEFORMATEX wave{};
    wave.wFormatTag = WAVE_FORMAT_PCM;
    wave.nChannels = 1;
    wave.nSamplesPerSec = 8000;
    wave.wBitsPerSample = 16;
    wave.nBlockAlign = 2;
    wave.nAvgBytesPerSec = kSoundBytesPerSecond;
    WM_MEDIA_TYPE type{};
    type.majortype = WMMEDIATYPE_Audio;
    type.subtype = WMMEDIASUBTYPE_PCM;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = wave.nBlockAlign;
    type.formattype = kFormatWaveFormatEx;
    type.cbFormat = sizeof(wave);
    type.pbFormat = reinterpret_cast<BYTE*>(&wave);
    const HRESULT steps[] = {
        props->SetMediaType(&type),
        config->SetStreamNumber(2),
        config->SetStreamName(const_cast<WCHAR*>(L"Audio")),
        config->SetConnectionName(const_cast<WCHAR*>(L"Audio")),
        config->SetBitrate(kSoundBytesPerSecond * 8),
        config->SetBufferWindow(kBufferWindowMs),
        profile->AddStream(config.get()),
    };
    for (HRESULT step : steps)
        if (FAILED(step))
            return Fail("Unable to create a profile", step);
    return true;
}

bool WmMediaWriter::FindInputs()
{
    DWORD inputs = 0;
    HRESULT hr = m_writer->GetInputCount(&inputs);
    if (FAILED(hr))
        return Fail("Unable to Get input count For Profile", hr);
    bool video = false;
    for (DWORD i = 0; i < inputs; ++i) {
        ComRef<IWMInputMediaProps> props;
        hr = m_writer->GetInputProps(i, props.Out());
        if (FAILED(hr) || !props)
            return Fail("Unable to GetInput Properties", FAILED(hr) ? hr : E_POINTER);
        GUID kind{};
        hr = props->GetType(&kind);
        if (FAILED(hr))
            return Fail("Unable to Get Input Property Type", hr);
        if (kind == WMMEDIATYPE_Video && !video) {
            video = true;
            m_videoInput = i;
        } else if (kind == WMMEDIATYPE_Audio && !m_hasAudioInput) {
            m_hasAudioInput = true;
            m_audioInput = i;
        }
    }
    if (!video)
        return Fail("Profile Does not Accept Video input", E_FAIL);
    return true;
}

bool WmMediaWriter::Begin(int32_t width, int32_t height, int bitsPerPixel)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const uint32_t bytes = FrameImageBytes(width, height, bitsPerPixel);
    if (!m_writer || bytes == 0)
        return Fail("Unable to Set Media Type", E_INVALIDARG);
    ComRef<IWMInputMediaProps> props;
    HRESULT hr = m_writer->GetInputProps(m_videoInput, props.Out());
    if (FAILED(hr) || !props)
        return Fail("Unable to GetInput Properties", FAILED(hr) ? hr : E_POINTER);
    VIDEOINFOHEADER vih{};
    vih.rcSource = RECT{0, 0, width, height};
    vih.rcTarget = vih.rcSource;
    vih.bmiHeader = FrameBitmapHeader(width, height, bitsPerPixel);
    WM_MEDIA_TYPE type{};
    type.majortype = WMMEDIATYPE_Video;
    type.subtype = *RgbSubtype(bitsPerPixel);
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = bytes;
    type.formattype = kFormatVideoInfo;
    type.cbFormat = sizeof(vih);
    type.pbFormat = reinterpret_cast<BYTE*>(&vih);
    hr = props->SetMediaType(&type);
    if (FAILED(hr))
        return Fail("Unable to Set Media Type", hr);
    hr = m_writer->SetInputProps(m_videoInput, props.get());
    if (FAILED(hr))
        return Fail("Unable to Set Input Properties for Media Writer", hr);
    hr = m_writer->BeginWriting();
    if (FAILED(hr)) {
        DHLog::Instance().Print(kLogRecording, 1, false, "%s\n", WriterErrorName(hr));
        return Fail("Unable to Initialize Writing", hr);
    }
    m_began = true;
    return true;
}

WmMediaWriter::Written WmMediaWriter::WriteSample(DWORD input, uint32_t bytes, int64_t time, DWORD flags,
                                                  const Fill& fill, bool video)
{
    // A video failure ends the recording with its step; a sound failure is
    // logged and the recording goes on.
    auto failed = [this, video](const char* text, HRESULT hr) {
        if (video)
            Fail(text, hr);
        else
            DHLog::Instance().Print(kLogRecording, 1, false, "%s (0x%08lX)\n", text, static_cast<unsigned long>(hr));
        return Written::Failed;
    };
    ComRef<INSSBuffer> sample;
    HRESULT hr = m_writer->AllocateSample(bytes, sample.Out());
    if (FAILED(hr) || !sample)
        return failed("Unable to Allocate Memory", FAILED(hr) ? hr : E_OUTOFMEMORY);
    BYTE* data = nullptr;
    DWORD length = 0;
    DWORD capacity = 0;
    hr = sample->GetBufferAndLength(&data, &length);
    if (SUCCEEDED(hr))
        hr = sample->GetMaxLength(&capacity);
    if (FAILED(hr) || !data || capacity < bytes)
        return failed("Unable to Lock Buffer", FAILED(hr) ? hr : E_OUTOFMEMORY);
    if (!fill(data, bytes))
        return failed(video ? "Unable to Write Frame" : "Unable to Write Sound", E_FAIL);
    sample->SetLength(bytes);
    hr = m_writer->WriteSample(input, static_cast<QWORD>(time), flags, sample.get());
    if (hr == NS_E_LATE_OPERATION) {
        Log(2, video ? "NS_LATE_OPERATION\n" : "writesamples returns 0xc00d002e\n");
        return Written::Late;
    }
    if (FAILED(hr)) {
        DHLog::Instance().Print(kLogRecording, 1, false, "%s\n", WriterErrorName(hr));
        return failed(video ? "Unable to Write Frame" : "Unable to Write Sound", hr);
    }
    return Written::Ok;
}

WmMediaWriter::Written WmMediaWriter::WriteFrame(uint32_t bytes, int64_t time, bool cleanPoint, const Fill& fill)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_began)
        return Written::Failed;
    return WriteSample(m_videoInput, bytes, time, cleanPoint ? WM_SF_CLEANPOINT : 0, fill, true);
}

WmMediaWriter::Written WmMediaWriter::WriteSound(const uint8_t* data, uint32_t bytes, int64_t time)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_began || !m_hasAudioInput || bytes == 0)
        return Written::Failed;
    auto copy = [data](uint8_t* sample, uint32_t n) {
        std::memcpy(sample, data, n);
        return true;
    };
    return WriteSample(m_audioInput, bytes, time, 0, copy, false);
}

void WmMediaWriter::End()
{
    std::lock_guard<std::mutex> lock(m_lock);
    EndLocked();
}

void WmMediaWriter::EndLocked()
{
    if (m_began && m_writer) {
        m_began = false;
        HRESULT hr = m_writer->EndWriting();
        if (FAILED(hr))
            DHLog::Instance().Print(kLogRecording, 1, false, "EndWriting failed (0x%08lX).\n",
                                    static_cast<unsigned long>(hr));
    }
    m_writer.Reset();
    m_profile.Reset();
    m_manager.Reset();
}
