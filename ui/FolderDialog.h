#pragma once
// Choosing a folder: the file dialog in folder mode, where a folder that does not exist yet may be typed
// in and is created once the user agrees.

#include <QString>

class QWidget;

// The chosen folder, or an empty text when the user cancelled.
QString ChooseFolder(QWidget* Parent, const QString& Start);
