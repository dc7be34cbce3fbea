#include "settings_store.h"

// The part both stores share: saves wait for the commit.
void SettingsStore::SaveSetting(const QString &application, const QString &section,
                                const QString &key, const QString &text)
{
    m_pending[application].push_back({section, key, text});
}
