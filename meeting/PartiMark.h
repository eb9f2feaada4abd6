#pragma once
// Participant marks: a participant pointing at the shared screen sends its
// point and name (packet 28); here a small shaped marker with the name
// beside it shows at that point for five seconds after its last mark. Each
// marker window lives on a thread of its own; the map of names is kept under
// one lock, and every change to a marker's window is made on its thread.
#include "core/base/BoundedThread.h"
#include "core/base/CHeap.h"
#include "meeting/MarkText.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MeetingContext;

class PartiMark : public CHeap {
public:
    static constexpr UINT_PTR kMarkTimer = 1335;
    static constexpr UINT kShowMs = 5000;
    // Live markers at most; a mark of a further name is dropped.
    static constexpr size_t kMaxMarks = 32;
    // The tooltip's point in the marker's client area.
    static constexpr int kTipX = 31;
    static constexpr int kTipY = 31;

    // Loads the marker's picture (bitmap 265 of the program) and its shape.
    explicit PartiMark(MeetingContext* meeting);
    // Ends every marker thread first.
    ~PartiMark() override;
    PartiMark(const PartiMark&) = delete;
    PartiMark& operator=(const PartiMark&) = delete;

    // Sends the point on the shared screen with the own display name; false
    // when there is no name or it could not be sent.
    bool SendMark(int x, int y, const std::wstring& name);
    // A received packet 28 (its text up to the NUL).
    void OnRecvMark(const char* text);
    // Shows the marker of that name at (x, y), or moves it and starts its
    // five seconds again.
    void ShowMark(int x, int y, const std::wstring& name);
    // Ends every marker thread (its window goes with it) and empties the map.
    void RemoveAllMarks();

    // The marker window of a name while it shows (tests and the capture).
    HWND MarkWindow(const std::wstring& name);
    HWND TipWindow(const std::wstring& name);
    size_t LiveMarks();
    int PictureWidth() const { return m_width; }
    int PictureHeight() const { return m_height; }

private:
    struct Marker {
        int x = 0, y = 0;
        HWND window = nullptr;
        HWND tip = nullptr;
        bool ended = false;
        bool quit = false;
        BoundedThread thread;
    };
    void ThreadProc(Marker* marker, const std::wstring& name);
    void RunLoop(Marker* marker, HWND window);
    // Joins the threads of markers taken out of the map.
    static void Reap(std::vector<std::shared_ptr<Marker>>& markers);
    static INT_PTR CALLBACK MarkWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HRGN MakeRegion() const;
    // Ended markers leave the map (their threads are joined by the caller).
    void Sweep(std::vector<std::shared_ptr<Marker>>& ended);

    MeetingContext* m_meeting;
    std::vector<uint32_t> m_pixels;  // top-down 0x00RRGGBB
    std::vector<PixelRun> m_shape;
    int m_width = 0, m_height = 0;
    std::mutex m_lock;
    std::map<std::wstring, std::shared_ptr<Marker>> m_marks;
};
