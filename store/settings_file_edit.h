#pragma once

// The settings file's edit on its own, for tests and benchmarks: what a save
// does under its lock between the read and the write (Unix only).

#include "settings_store.h"

#include <QByteArray>

// The settings file `content` with `texts` in place, judged by the settings
// reader: our keys must read as the new texts and every other key as before. The
// new bytes, or why they must not be written (naming `file`).
struct SettingsFileEdit {
    QByteArray content;
    std::optional<QString> refusal;
};
SettingsFileEdit EditSettingsFile(const QByteArray &content, const std::vector<SettingText> &texts,
                                  const QString &file);
