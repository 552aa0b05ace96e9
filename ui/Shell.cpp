// GIO first: Qt's "signals" keyword would break its headers.
#include <gio/gio.h>

#include "ui/Shell.h"

#include <QMimeDatabase>

QString FindAssociatedProgram(const QString& FileName) {
    const QByteArray Type = QMimeDatabase().mimeTypeForFile(FileName).name().toUtf8();
    GAppInfo* App = g_app_info_get_default_for_type(Type.constData(), FALSE);
    if (!App)
        return {};
    const char* Id = g_app_info_get_id(App);
    const char* Exe = g_app_info_get_executable(App);
    const QString Result = QString::fromUtf8(Id ? Id : Exe ? Exe : "");
    g_object_unref(App);
    return Result;
}
