#pragma once
// Participant marks: named markers on the shared screen.
#include "core/base/CHeap.h"

class CManager;

class PartiMark : public CHeap {
public:
    explicit PartiMark(CManager* manager);
    ~PartiMark() override;
    PartiMark(const PartiMark&) = delete;
    PartiMark& operator=(const PartiMark&) = delete;

    // Closes every mark window.
    void RemoveAllMarks();
    // Parses "x,y" then the UTF-8 name line, and shows the marker.
    void OnRecvMark(const char* text);

private:
    CManager* m_manager;
};
