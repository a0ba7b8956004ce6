#include "link/qel_comm.h"

namespace {
constexpr int linkWindowChildId = 100;
} // namespace

CQelComm::CQelComm(fw::CWnd* parent) {
    if (parent == nullptr && fw::AfxGetApp() != nullptr)
        parent = fw::AfxGetApp()->mainWnd;
    CreateGeneric("CQelComm", WS_CHILD | WS_OVERLAPPEDWINDOW, fw::Rect{0, 0, 10, 10}, parent,
                  linkWindowChildId);
}

CQelComm::~CQelComm() {
    DestroyWindow();
}

void CQelComm::OnTimer(UINT timerId) {
    if (timerId == linkTimerId && tickCountdown != 0)
        --tickCountdown;
}
