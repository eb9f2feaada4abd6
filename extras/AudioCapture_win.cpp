#include "extras/AudioCapture_win.h"

#include "core/base/DHLog.h"

CAudioCapture::CAudioCapture() = default;

CAudioCapture::~CAudioCapture()
{
    Stop();
}

bool CAudioCapture::Init()
{
    if (!m_errorEvent)
        m_errorEvent.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_format = {};
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = 1;
    m_format.nSamplesPerSec = kSampleRate;
    m_format.wBitsPerSample = kBitsPerSample;
    m_format.nBlockAlign = static_cast<WORD>(m_format.nChannels * kBitsPerSample / 8);
    m_format.nAvgBytesPerSec = m_format.nBlockAlign * kSampleRate;
    m_format.cbSize = 0;
    return static_cast<bool>(m_errorEvent);
}

void CAudioCapture::LoadDevicesOnce()
{
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        waveInGetNumDevs();
        waveOutGetNumDevs();
    });
}

std::vector<std::string> CAudioCapture::EnumDevices()
{
    LoadDevicesOnce();
    std::vector<std::string> names;
    UINT count = waveInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        WAVEINCAPSA caps = {};
        if (waveInGetDevCapsA(i, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
            continue;
        size_t n = strnlen(caps.szPname, sizeof(caps.szPname));
        names.emplace_back(caps.szPname, n);
    }
    return names;
}

void CAudioCapture::CaptureLoop(std::shared_ptr<std::atomic<DWORD>> threadId, HANDLE ready)
{
    MSG msg;
    // The queue exists before the device is opened, so MM_WIM_OPEN and the
    // first buffers are never posted to a thread without one.
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    threadId->store(GetCurrentThreadId());
    SetEvent(ready);
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == MM_WIM_CLOSE)
            break;
        if (msg.message != MM_WIM_DATA)
            continue;
        auto* header = reinterpret_cast<WAVEHDR*>(msg.lParam);
        {
            std::lock_guard<std::mutex> lock(m_requeueLock);
            if (m_stopping)
                continue;  // a buffer the reset handed back: the capture ends
        }
        if (header->dwFlags & WHDR_DONE)
            OnAudioData(*header);
        std::lock_guard<std::mutex> lock(m_requeueLock);
        if (m_stopping)
            continue;
        MMRESULT r = waveInAddBuffer(reinterpret_cast<HWAVEIN>(msg.wParam), header, sizeof(WAVEHDR));
        if (r != MMSYSERR_NOERROR) {
            DHLog::Instance().Print(0x80, 2, false, "Voice capture: a buffer could not be queued again (%u)\n", static_cast<unsigned>(r));
            SetEvent(m_errorEvent.get());
            break;
        }
    }
}

void CAudioCapture::WatchErrors()
{
    m_errorWatchThreadId = GetCurrentThreadId();
    while (m_watching.load()) {
        if (WaitForSingleObject(m_errorEvent.get(), 100) != WAIT_OBJECT_0)
            continue;
        if (m_watching.exchange(false))
            OnCaptureError();
        break;
    }
}

void CAudioCapture::EndCaptureThread()
{
    if (!m_captureThread.Started())
        return;
    if (GetCurrentThreadId() == m_captureThreadId)
        return;  // asked from the callback: the thread ends on its own
    PostThreadMessageA(m_captureThreadId, WM_QUIT, 0, 0);
    if (!m_captureThread.Join(kJoinMs))
        DHLog::Instance().Print(0x80, 1, false, "Voice capture: the capture thread did not end\n");
    m_captureThreadId = 0;
}

void CAudioCapture::EndErrorWatch()
{
    m_watching = false;
    if (!m_errorWatch.Started())
        return;
    if (GetCurrentThreadId() == m_errorWatchThreadId.load())
        return;  // asked from the error callback: joined by the next Open or Stop
    if (!m_errorWatch.Join(kJoinMs))
        DHLog::Instance().Print(0x80, 1, false, "Voice capture: the error watch did not end\n");
    m_errorWatchThreadId = 0;
}

bool CAudioCapture::Open()
{
    if (!m_errorEvent && !Init())
        return false;
    Stop();
    {
        std::lock_guard<std::mutex> lock(m_requeueLock);
        m_stopping = false;
    }
    WinHandle ready(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!ready)
        return false;
    auto threadId = std::make_shared<std::atomic<DWORD>>(0);
    HANDLE readyEvent = ready.get();
    if (!m_captureThread.Start([this, threadId, readyEvent] { CaptureLoop(threadId, readyEvent); }))
        return false;
    if (WaitForSingleObject(readyEvent, kJoinMs) != WAIT_OBJECT_0) {
        // Without its id the thread cannot be told to end; it cannot have
        // touched the event late since it never started.
        DHLog::Instance().Print(0x80, 1, false, "Voice capture: the capture thread did not start\n");
        m_captureThread.Join(kJoinMs);
        return false;
    }
    m_captureThreadId = threadId->load();
    HWAVEIN device = nullptr;
    LoadDevicesOnce();
    MMRESULT r = waveInOpen(&device, m_deviceId, &m_format, m_captureThreadId, 0, CALLBACK_THREAD);
    if (r != MMSYSERR_NOERROR) {
        DHLog::Instance().Print(0x80, 2, false, "Voice capture: the input device cannot be opened (%u)\n", static_cast<unsigned>(r));
        EndCaptureThread();
        return false;
    }
    m_device = device;
    ResetEvent(m_errorEvent.get());
    m_watching = true;
    if (!m_errorWatch.Start([this] { WatchErrors(); })) {
        Stop();
        return false;
    }
    return true;
}

bool CAudioCapture::Start()
{
    if (waveInGetNumDevs() == 0)
        return false;
    if (!Open())
        return false;
    for (int i = 0; i < kBufferCount; ++i) {
        m_buffers[i].assign(m_format.nAvgBytesPerSec, 0);
        m_headers[i] = {};
        m_headers[i].lpData = m_buffers[i].data();
        m_headers[i].dwBufferLength = static_cast<DWORD>(m_buffers[i].size());
        if (waveInPrepareHeader(m_device, &m_headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            Stop();
            return false;
        }
        m_prepared[i] = true;
        if (waveInAddBuffer(m_device, &m_headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            Stop();
            return false;
        }
    }
    if (waveInStart(m_device) != MMSYSERR_NOERROR) {
        Stop();
        return false;
    }
    return true;
}

void CAudioCapture::Stop()
{
    if (m_device) {
        {
            std::lock_guard<std::mutex> lock(m_requeueLock);
            m_stopping = true;
        }
        // Every queued buffer comes back to us; none is queued again.
        waveInReset(m_device);
        for (int i = 0; i < kBufferCount; ++i) {
            if (m_prepared[i] && waveInUnprepareHeader(m_device, &m_headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR)
                DHLog::Instance().Print(0x80, 2, false, "Voice capture: buffer %d could not be unprepared\n", i);
            m_prepared[i] = false;
        }
        if (waveInClose(m_device) != MMSYSERR_NOERROR)
            DHLog::Instance().Print(0x80, 2, false, "Voice capture: the input device did not close\n");
        m_device = nullptr;
    }
    EndCaptureThread();
    // The thread is gone (or is the caller): no header is read any more.
    if (!m_captureThread.Started())
        ReleaseBuffers();
    EndErrorWatch();
}

void CAudioCapture::ReleaseBuffers()
{
    for (int i = 0; i < kBufferCount; ++i) {
        m_headers[i] = {};
        std::vector<char>().swap(m_buffers[i]);
    }
}

void CAudioCapture::OnAudioData(const WAVEHDR&) {}

void CAudioCapture::OnCaptureError() {}
