// The window's pointer: default, busy, or the hand over the command buttons.
#include "window/Form1.h"

namespace tarnwell {

void Form1::SetPointerState(int state)
{
    m_pointerState = state;
    if (state == kPointerBusy)
        setCursor(Qt::WaitCursor);
    else if (state == kPointerHand && m_handCursor)
        setCursor(*m_handCursor);
    else
        unsetCursor(); // also state 99 without a cursor file: the ordinary pointer
}

void Form1::MouseMovedOver(const QString &objectName)
{
    const std::optional<int> requested = MouseMovePointer(objectName);
    const int next = PointerAfterMouseMove(m_pointerState, requested);
    if (next != m_pointerState)
        SetPointerState(next);
}

} // namespace tarnwell
