#pragma once
// The few desktop operations that differ between platforms, shared by the
// host and the module.

class QString;
class QWidget;

namespace Platform {

// Brings window's top-level window to the front: restores it when minimised,
// shows it when hidden, then raises and activates it.
void bringToFront(QWidget* window);

// Shows filePath selected in the desktop's file manager; where no file
// manager answers, opens the containing folder instead. Returns false only
// when neither worked.
bool revealInFileManager(const QString& filePath);

// Opens folder itself in the desktop's file manager; where none answers,
// with the desktop's default handler for directories. False when neither
// worked.
bool openFolder(const QString& folder);

} // namespace Platform
