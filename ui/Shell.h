#pragma once
// What the desktop knows about files.

#include <QString>

// The desktop's default application for the file's type (by its name and content), as its desktop entry
// id such as "org.example.Editor.desktop"; empty when there is none.
QString FindAssociatedProgram(const QString& FileName);
