// A test double of the Windows Media writer library at its boundary: the two
// factories and the objects they hand out (profile manager with its second
// interface and codec information, profile, stream configurations with
// their media properties, writer, input properties and sample buffers).
// Every call is recorded with its arguments, a test scripts the result of
// any step, and every object counts its references.
#pragma once

#include "extras/WmWriterBinding.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace wmdouble {

struct MediaType {
    GUID major{}, sub{}, format{};
    std::vector<uint8_t> formatBytes;
    template <class T>
    const T* As() const
    {
        return formatBytes.size() >= sizeof(T) ? reinterpret_cast<const T*>(formatBytes.data()) : nullptr;
    }
};

struct Stream {
    WORD number = 0;
    std::wstring name, connection;
    DWORD bitrate = 0, bufferWindow = 0;
    MediaType type;
};

struct Sample {
    DWORD input;
    QWORD time;
    DWORD flags;
    std::vector<uint8_t> bytes;
    uint32_t head;  // the first 4 bytes (0 when shorter), kept also when the bytes are not
    std::chrono::steady_clock::time_point writtenAt;  // when WriteSample took it
};

// What the objects share with the test. One at a time: Install() makes it
// the one the factories use.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    WmWriterBinding Binding() const;

    // The first call of `step` (a method name such as "SetOutputFilename",
    // or "QueryInterface IWMCodecInfo") returns `hr`.
    void FailAt(const std::string& step, HRESULT hr);
    // Each video WriteSample takes the next scripted result (S_OK when none).
    void ScriptVideoWrites(std::deque<HRESULT> results);
    // The step throws a C++ exception instead of returning.
    void ThrowAt(const std::string& step);
    // The step takes `ms` before it returns (a writer that hangs).
    void DelayAt(const std::string& step, unsigned ms);
    // Samples are counted, their bytes not kept (for long runs).
    void KeepSampleBytes(bool keep) { m_keepBytes = keep; }
    bool KeepsSampleBytes() const { return m_keepBytes; }
    // The writer's inputs are both audio: the profile takes no video.
    void InputsWithoutVideo() { m_noVideo = true; }
    bool NoVideo() const { return m_noVideo; }

    // Recorded.
    std::vector<std::string> Calls() const;
    bool Called(const std::string& step) const;
    std::vector<Stream> Streams() const;
    MediaType VideoInputType() const;
    std::wstring OutputFile() const;
    std::vector<Sample> Samples(DWORD input) const;
    size_t SampleCount(DWORD input) const;
    bool ComInitialisedInFactory() const { return m_comInFactory; }
    long LiveObjects() const { return m_live; }

    static constexpr DWORD kVideoInput = 1;  // the audio input is 0
    static constexpr DWORD kAudioInput = 0;
    // The VIDEOINFOHEADER dwBitErrorRate that marks codec c, format f: 100c + f.
    static constexpr DWORD kChosenFormatMark = 101;

    // For the objects.
    HRESULT Enter(const std::string& step, const std::string& args = "");
    HRESULT NextVideoWrite();
    void AddStream(const Stream& s);
    void SetVideoInputType(const MediaType& t);
    void SetOutputFile(const std::wstring& f);
    void AddSample(Sample s);
    // Sample storage comes back for the next sample of its size, as a
    // writer's sample pool does: a long run pays no allocation per frame.
    std::vector<uint8_t> TakeStorage(DWORD size);
    void GiveBackStorage(std::vector<uint8_t> storage);
    void ObjectMade() { ++m_live; }
    void ObjectGone() { --m_live; }
    void NoteComInFactory(bool ok) { m_comInFactory = ok; }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_calls;
    std::map<std::string, HRESULT> m_failures;
    std::string m_throwAt;
    std::string m_delayAt;
    unsigned m_delayMs = 0;
    std::deque<HRESULT> m_videoWrites;
    std::vector<Stream> m_streams;
    MediaType m_videoInput;
    std::wstring m_file;
    std::vector<Sample> m_samples;
    std::map<size_t, std::vector<std::vector<uint8_t>>> m_storage;
    std::atomic<long> m_live{0};
    std::atomic<bool> m_comInFactory{false};
    std::atomic<bool> m_noVideo{false};
    std::atomic<bool> m_keepBytes{true};
};

} // namespace wmdouble
