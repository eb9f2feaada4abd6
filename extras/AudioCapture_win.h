#pragma once
// Microphone capture through the waveform-audio input: one second of sound
// (16000 bytes of 8 kHz 16-bit mono PCM) at a time, handed to a virtual
// callback on the capture thread. Three buffers circulate so the device
// never waits for the callback. A device that fails under a running
// capture is reported once, on the error-watch thread, by the error
// callback. The voice and the screen recorder derive from it.
#include "core/base/BoundedThread.h"
#include "core/base/CHeap.h"
#include "core/base/WinHandle.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class CAudioCapture : public CHeap {
public:
    CAudioCapture();
    // Stops a capture that still runs.
    ~CAudioCapture() override;
    CAudioCapture(const CAudioCapture&) = delete;
    CAudioCapture& operator=(const CAudioCapture&) = delete;

    static constexpr DWORD kSampleRate = 8000;
    static constexpr WORD kBitsPerSample = 16;
    static constexpr DWORD kBytesPerSecond = kSampleRate * kBitsPerSample / 8;
    static constexpr int kBufferCount = 3;
    // Bound of each wait on the capture or error-watch thread.
    static constexpr unsigned kJoinMs = 2000;

    // Creates the error event and sets the capture format; false when the
    // event cannot be made.
    bool Init();
    // Names of the input devices in device order ("default" for ALSA's).
    static std::vector<std::string> EnumDevices();
    // Loads the system's device list once per process, before any device
    // call: Wine builds it on the first call, unguarded, and two threads'
    // first calls at once read a half-built list.
    static void LoadDevicesOnce();
    // Ends a previous capture, starts the capture thread (its message queue
    // made before the device can post to it), opens the device on it and
    // starts the error watch. False when the device cannot be opened.
    bool Open();
    // Open, then the three buffers queued and the device started; false
    // (and everything undone) when any step fails.
    bool Start();
    // The device reset (every buffer comes back), the buffers unprepared,
    // the device closed, the capture thread joined, the buffers freed and
    // the error watch ended. Safe to call when nothing runs, and from the
    // error callback.
    void Stop();

    const WAVEFORMATEX& Format() const { return m_format; }
    bool DeviceOpen() const { return m_device != nullptr; }
    // The input device Open uses (WAVE_MAPPER until set).
    void SetDeviceId(UINT id) { m_deviceId = id; }

protected:
    // Capture thread: one full buffer (dwBytesRecorded bytes of lpData).
    virtual void OnAudioData(const WAVEHDR& header);
    // Error-watch thread: the device failed under a running capture.
    virtual void OnCaptureError();
    HWAVEIN Device() const { return m_device; }

private:
    void CaptureLoop(std::shared_ptr<std::atomic<DWORD>> threadId, HANDLE ready);
    void WatchErrors();
    void EndCaptureThread();
    void EndErrorWatch();
    void ReleaseBuffers();

    UINT m_deviceId = WAVE_MAPPER;
    HWAVEIN m_device = nullptr;
    WAVEFORMATEX m_format = {};
    WAVEHDR m_headers[kBufferCount] = {};
    std::vector<char> m_buffers[kBufferCount];
    bool m_prepared[kBufferCount] = {};

    BoundedThread m_captureThread;
    DWORD m_captureThreadId = 0;
    BoundedThread m_errorWatch;
    std::atomic<DWORD> m_errorWatchThreadId{0};
    std::atomic<bool> m_watching{false};
    WinHandle m_errorEvent;

    // Held while the capture thread requeues and while Stop sets m_stopping,
    // so no buffer goes back to the device after the reset.
    std::mutex m_requeueLock;
    bool m_stopping = false;
};
