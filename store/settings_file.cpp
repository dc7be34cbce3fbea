// The Unix store: one settings file per application in the user's config
// folder, in QSettings' native format. The file is shared with other tools and
// with people who edit it by hand, so QSettings reads it, our own line editor
// changes the lines of our keys and nothing else, and QSettings judges every
// edit before the file is replaced. A save is one straight line, as git's
// config save is: find, lock, read, edit and judge, replace.

#include "settings_file.h"
#include "ini_edit.h"

#include <QDir>
#include <QLockFile>

using namespace SettingsFile;

namespace
{

// A writer that takes no lock may replace the file during a save; the save
// then starts again from the new contents, this many times at most.
constexpr int kSaveAttempts = 10;

} // namespace

struct SettingsStore::Private {
    struct Opened {
        std::optional<QString> failure;
        Read read;
        std::optional<IniEdit::Document> document; // the file as read, for what QSettings hides
    };
    std::map<QString, Opened> open;
};

SettingsStore::SettingsStore(QString root) : m_root(std::move(root)), d(std::make_unique<Private>())
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultRoot()
{
    // Relative values are to be ignored; without either there is no user folder
    // at all, and "/.config" or a folder below the working directory a guess.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(xdg))
        return xdg;
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home))
        return QDir(home).filePath(QStringLiteral(".config"));
    return {};
}

QString SettingsStore::location(const QString &application) const
{
    const QString file = application + QStringLiteral(".conf");
    return m_root.isEmpty() ? QStringLiteral("$HOME/.config/") + file : QDir(m_root).filePath(file);
}

std::optional<QString> SettingsStore::open(const QString &application)
{
    if (const auto it = d->open.find(application); it != d->open.end())
        return it->second.failure;
    Read read;
    Place place;
    auto failure = findFile(location(application), place, false);
    if (!failure)
        failure = readFile(place, read);
    d->open[application] = {failure, read, IniEdit::Document(read.content)};
    return failure;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    StoredText fallback = StoredText::defaultOf(defaultValue);
    if (open(application))
        return fallback;
    const Private::Opened &opened = d->open.at(application);
    const auto it = opened.read.values.find(section + u'/' + key);
    if (it == opened.read.values.end()) {
        // The file may hold the key where QSettings cannot see it; the defaults
        // would then hide the user's choice, and the next save overwrite it.
        if (const auto problem = opened.document->whyUnseen(section, key))
            fallback.unreadable = tr("the key \"%1\" is in the file, but %2. Mend that line by "
                                     "hand, then start again")
                                      .arg(key, *problem);
        return fallback;
    }
    // Messages quote the file, not QSettings' decoding of it ("@String(1)", "\x41").
    const auto raw = opened.document->rawValue(section, key);
    const QVariant &value = it->second;
    const bool plain = value.typeId() == QMetaType::QString &&
                       !value.toString().startsWith(QLatin1String("@Variant-as-text("));
    const QString asStored = raw ? QString::fromUtf8(*raw) : value.toString();
    return {
        .text = plain ? value.toString() : asStored, .isPlainText = plain, .asStored = asStored};
}

std::optional<QString> SettingsStore::commit(const QString &application, const Decision &decide)
{
    d->open.erase(application); // whatever happens, the next read looks at the disk again
    const auto forget = qScopeGuard([&] { d->open.erase(application); });
    const QString path = location(application);
    // 1. Find the file, and whether it may be replaced, making missing folders.
    Place place;
    if (auto failure = findFile(path, place, true))
        return failure;
    // 2. The lock, for the whole save: no other save of ours, nor any QSettings
    // writer, comes between our read and our write.
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (auto failure = takeLock(lock, lockPath, m_lockWaitMs))
        return failure;

    bool busy = false;
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        // 3. Read, under the lock and a lease, so that a writer who went before is
        // not undone; the texts to write are decided on what was read.
        const Lease lease(place);
        if ((busy = lease.busy))
            continue;
        Read before;
        if (auto failure = readFile(place, before))
            return failure;
        d->open[application] = {{}, before, IniEdit::Document(before.content)};
        const std::optional<std::vector<SettingText>> texts = decide();
        if (!texts)
            return std::nullopt;
        // 4. Edit our lines, and judge the result with the settings reader.
        const SettingsFileEdit edited = edit(before, *texts, place.file);
        if (edited.refusal)
            return edited.refusal;
        // 5. Replace the file, unless another writer changed it since the read.
        bool changed = false;
        if (auto failure = replaceFile(place, before, lease, edited.content, changed))
            return failure;
        if (!changed)
            return std::nullopt;
    }
    if (busy)
        return tr("%1 is held open for writing by another program, so nothing was written; "
                  "save again once it is done")
            .arg(path);
    return tr("%1 was changed by another program %2 times while it was being saved, so nothing "
              "was written and the file is as that program left it; save again")
        .arg(path)
        .arg(kSaveAttempts);
}
