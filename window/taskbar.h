#pragma once

// Keeps a top-level window off the taskbar. Call after the native window
// exists and before it is first shown; it stays off on every later show.

class QWidget;

void HideFromTaskbar(QWidget &window);
