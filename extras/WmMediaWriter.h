#pragma once
// One recording's Windows Media writer: the profile (stream 1 "Screen", WMV3;
// stream 2 "Audio", PCM 8000 Hz 16 bits mono), the output file, the video
// input's uncompressed type from the first frame, and the samples. Every
// failure keeps the failed step's text and its code for the user.
#include "core/base/ComRef_win.h"
#include "extras/WmWriterBinding.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class WmMediaWriter {
public:
    explicit WmMediaWriter(WmWriterBinding binding);
    // Ends writing when it began, and releases every interface.
    ~WmMediaWriter();
    WmMediaWriter(const WmMediaWriter&) = delete;
    WmMediaWriter& operator=(const WmMediaWriter&) = delete;

    // Profile, writer and output file for a picture of width x height at
    // fps; COM must be initialised on the calling thread.
    bool Init(int32_t width, int32_t height, int fps, const std::wstring& file);
    // The video input takes uncompressed RGB frames of this size and depth
    // (16, 24 or 32 bits), and writing begins.
    bool Begin(int32_t width, int32_t height, int bitsPerPixel);
    bool Began() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_began;
    }

    // Fills a sample of `bytes` bytes; false when it could not.
    using Fill = std::function<bool(uint8_t* sample, uint32_t bytes)>;
    enum class Written { Ok, Late, Failed };
    // One video frame at `time` (100 ns units); a late write is not a failure.
    Written WriteFrame(uint32_t bytes, int64_t time, bool cleanPoint, const Fill& fill);
    // One sound buffer into the audio input (any thread).
    Written WriteSound(const uint8_t* data, uint32_t bytes, int64_t time);
    // EndWriting when writing began; the interfaces go too. Idempotent.
    void End();

    // The failed step ("Unable to Set System Profile Version") and its code;
    // read once the recording thread has ended.
    const std::string& ErrorText() const { return m_errorText; }
    HRESULT ErrorCode() const { return m_errorCode; }

private:
    // Everything below runs under m_lock.
    void EndLocked();
    bool Fail(const char* text, HRESULT hr);
    bool FindVideoCodecFormat(IWMProfileManager* manager, ComRef<IWMStreamConfig>& found);
    bool AddVideoStream(IWMProfile* profile, IWMStreamConfig* config, int32_t width, int32_t height, int fps);
    bool AddAudioStream(IWMProfile* profile);
    bool FindInputs();
    Written WriteSample(DWORD input, uint32_t bytes, int64_t time, DWORD flags, const Fill& fill,
                        bool video);

    // The recording thread (frames) and the capture thread (sound) share
    // the writer; ending it waits for a write in progress.
    mutable std::mutex m_lock;
    WmWriterBinding m_binding;
    ComRef<IWMProfileManager> m_manager;
    ComRef<IWMProfile> m_profile;
    ComRef<IWMWriter> m_writer;
    DWORD m_videoInput = 0;
    DWORD m_audioInput = 0;
    bool m_hasAudioInput = false;
    bool m_began = false;
    std::string m_errorText;
    HRESULT m_errorCode = S_OK;
};

// The header of a bottom-up uncompressed frame: what the video input takes
// and what GetDIBits fills.
BITMAPINFOHEADER FrameBitmapHeader(int32_t width, int32_t height, int bitsPerPixel);

// The log name of a writer error ("NS_E_INVALID_OUTPUT_FORMAT"), "unknown error" else.
const char* WriterErrorName(HRESULT hr);
