#include "command_line.h"

#include "option_set.h"
#include "option_storage.h"
#include "settings_store.h"
#include "store_error.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace
{

const QString kApplicationName = QString::fromLatin1(kApplication);
const QString kSectionName = QString::fromLatin1(kSection);
// What people try first for help, on Linux and on Windows.
const QStringList kHelpWords{QStringLiteral("--help"), QStringLiteral("-h"),
                             QStringLiteral("-help"), QStringLiteral("-?"), QStringLiteral("/?")};

QString keyOf(int index)
{
    return QString::fromLatin1(OptionSet::info(index).key);
}

// "Page Layout" is PageLayout, " View" View, "Hide built-in tabs" HideBuiltInTabs.
QString shortFormOf(int index)
{
    QString shortForm;
    for (const QString &word :
         keyOf(index).split(QRegularExpression(QStringLiteral("[ -]")), Qt::SkipEmptyParts))
        shortForm += word.first(1).toUpper() + word.sliced(1);
    return shortForm;
}

// The key as spelt in the store or in short, in any case.
std::optional<int> optionNamed(const QString &name)
{
    for (int i = 0; i < OptionCount; ++i) {
        if (name.compare(keyOf(i), Qt::CaseInsensitive) == 0 ||
            name.compare(shortFormOf(i), Qt::CaseInsensitive) == 0)
            return i;
    }
    return std::nullopt;
}

QString validKeys()
{
    QStringList keys;
    for (int i = 0; i < OptionCount; ++i) {
        const QString shortForm = shortFormOf(i);
        keys << (shortForm == keyOf(i) ? keyOf(i)
                                       : QStringLiteral("\"%1\" (%2)").arg(keyOf(i), shortForm));
    }
    return keys.join(QStringLiteral(", "));
}

QString usage()
{
    return QStringLiteral(
               "Usage: velmora [QT-OPTION ...]       open the options window (-style fusion, "
               "say);\n"
               "                                     other arguments are ignored, up to the "
               "first\n"
               "                                     that begins with -- or is -h, -help, -? or "
               "/?:\n"
               "                                     there a command starts, one of these:\n"
               "       velmora --show [--json]       where the settings live, and for each key "
               "the\n"
               "                                     text stored and the option after loading\n"
               "       velmora --set KEY=0|1 ...     tick (1) or clear (0) options as clicks "
               "would,\n"
               "                                     each key once, then save all twelve as Ok "
               "does\n"
               "                                     and say what changed (the rules may change "
               "others)\n"
               "       velmora --reset               save the first-start state\n"
               "       velmora --help | --version    this help (-h, -help, -? or /? too), or the "
               "version\n"
               "Keys, in any case: %1.\n"
               "Exit status: 0 done; 1 the store stops start-up or the save failed (nothing is\n"
               "written, unless the message says the new file is in place), or the answer could\n"
               "not be written; 2 a usage error, or no display that answers for the window, or\n"
               "Qt cannot start its window system there;\n"
               "3 saved, but the report could not be written.\n")
        .arg(validKeys());
}

QString visible(const QString &text, bool keepLineBreaks, bool json = false)
{
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool control =
            (u < 0x20 && !(keepLineBreaks && u == u'\n')) || (u >= 0x7f && u <= 0x9f);
        const bool turnsDirection = (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069);
        const auto hex = [u](int digits) {
            return QString::number(u, 16).toUpper().rightJustified(digits, u'0');
        };
        if (turnsDirection || (control && json))
            shown += QStringLiteral("\\u") + hex(4);
        else if (control)
            shown += QStringLiteral("\\x") + hex(2);
        else
            shown += c;
    }
    return shown;
}

} // namespace

QString VisibleOnTerminal(const QString &text)
{
    return visible(text, true);
}

namespace
{

QString stateName(OptionValue value)
{
    return value == 0   ? QStringLiteral("cleared")
           : value == 1 ? QStringLiteral("ticked")
                        : QStringLiteral("grayed");
}

// Why the settings do not load, as the message box says it, but with the way to
// mend a bad value from here: --set cannot, since it loads them first.
void tellLoadFailed(const StoreError &error, QTextStream &err)
{
    err << visible(error.problem(), true) << '\n';
    if (error.isBadValue())
        err << "Set it to 0, 1 or 2 there or delete the key, or run velmora --reset to save the\n"
               "first-start state of all twelve options; --set cannot, as it loads them first.\n";
    err.flush();
}

// `heading` names what the table is: the settings as they are, or as just saved.
void show(const LoadedOptions &loaded, const QString &where, bool json, QTextStream &out,
          const QString &heading = QStringLiteral("Settings"))
{
    using Decided = LoadedOptions::Decided;
    QJsonArray entries;
    const auto line = [&out](const QString &key, const QString &stored, const QString &option) {
        out << QStringLiteral("%1 %2 %3\n").arg(key, -21).arg(stored, -13).arg(option);
    };
    if (!json) {
        out << heading << ": " << visible(where, false) << ", section \"" << kSectionName << "\"\n";
        line(QStringLiteral("Key"), QStringLiteral("Stored text"),
             QStringLiteral("Option after loading"));
    }
    for (int i = 0; i < OptionCount; ++i) {
        const StoredText &stored = loaded.stored[i];
        const QString text = stored.asStored.value_or(stored.text);
        const Decided decided = loaded.decided(i);
        const QString state = stateName(loaded.options.value(i));
        if (json) { // the text whole: a script gets the data, not a message
            static const char *const decidedWords[] = {"stored", "default", "rules", "not read"};
            entries.append(QJsonObject{
                {QStringLiteral("key"), keyOf(i)},
                {QStringLiteral("stored"), stored.missing ? QJsonValue() : QJsonValue(text)},
                {QStringLiteral("state"), state},
                {QStringLiteral("decided"), QString::fromLatin1(decidedWords[int(decided)])}});
            continue;
        }
        line(u'"' + keyOf(i) + u'"',
             stored.missing ? QStringLiteral("(not stored)")
                            : visible(QuotedStoredText(text), false),
             state + (decided == Decided::Rules     ? QStringLiteral(", by the rules")
                      : decided == Decided::Default ? QStringLiteral(", the default")
                                                    : QString()));
    }
    if (json) {
        const QJsonObject object{{QStringLiteral("settings"), where},
                                 {QStringLiteral("section"), kSectionName},
                                 {QStringLiteral("options"), entries}};
        // The document escapes all but DEL, the C1 controls and the direction turners itself.
        out << visible(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)),
                       true, true);
    }
}

// One KEY=0|1 of --set.
struct Word {
    int index;
    OptionValue value;
};
// Which options the words' clicks changed, each its own, and which the rules changed.
struct Path {
    std::array<bool, OptionCount> byWord{}, byRules{};
};

// The words applied in turn as clicks; an option already as asked is not clicked.
OptionSet applied(const OptionSet &loaded, const std::vector<Word> &words, Path &path)
{
    OptionSet options = loaded;
    path = {};
    int clicked = -1; // the option a word clicks, until the click has set it
    options.addListener([&](int index, OptionValue) {
        (index == clicked ? path.byWord : path.byRules)[index] = true;
        clicked = -1; // the rest is the rules'
    });
    for (const Word &word : words) {
        if (options.isTicked(word.index) != (word.value != 0)) {
            clicked = word.index;
            options.click(word.index);
        }
    }
    return OptionSet(options.values());
}

// What a save changed against the options loaded before it, so that a script's log
// shows what the rules did besides what was asked. An option is "left alone" only
// when neither its word nor any rule changed it on the way.
void tellChanges(const OptionSet &before, const OptionSet &saved, const std::vector<Word> &words,
                 const Path &path, const QString &otherChange, QTextStream &out)
{
    QStringList done, others, alreadySo;
    for (int i = 0; i < OptionCount; ++i) {
        const QString key = u'"' + keyOf(i) + u'"', now = stateName(saved.value(i));
        const auto word =
            std::find_if(words.begin(), words.end(), [i](const Word &w) { return w.index == i; });
        const QString change =
            before.value(i) != saved.value(i)
                ? QStringLiteral("%1 %2 (was %3)").arg(key, now, stateName(before.value(i)))
                : QStringLiteral("%1 %2 (as before, after the rules changed it on the way)")
                      .arg(key, now);
        if (word == words.end()) {
            if (before.value(i) != saved.value(i))
                others << change;
        } else if (!path.byWord[i] && !path.byRules[i]) {
            alreadySo << key + u' ' + now;
        } else if (saved.isTicked(i) != (word->value != 0)) {
            others << QStringLiteral("%1 %2 (%3 as asked, then undone by the rules)")
                          .arg(key, now, stateName(word->value));
        } else {
            (path.byWord[i] ? done : others) << change;
        }
    }
    const auto tell = [&out](const QString &what, const QStringList &entries) {
        if (!entries.isEmpty())
            out << what << ": " << entries.join(QStringLiteral(", ")) << ".\n";
    };
    tell(QStringLiteral("Changed as asked"), done);
    tell(otherChange, others);
    tell(QStringLiteral("Already so, left alone"), alreadySo);
    if (done.isEmpty() && others.isEmpty())
        out << "No option changed.\n";
}

// What a save over a store that could not be loaded changed: with no options to
// compare with, the texts it replaced.
void tellTextChanges(const StoreError &loadError, const std::vector<StoredText> &before,
                     const LoadedOptions &written, QTextStream &out)
{
    QStringList changes;
    for (int i = 0; i < OptionCount; ++i) {
        const QString was = before[i].asStored.value_or(before[i].text);
        const QString &text = written.stored[i].text;
        if (!before[i].unreadable && was == text)
            continue;
        changes << QStringLiteral("\"%1\" from %2 to \"%3\"")
                       .arg(keyOf(i),
                            before[i].unreadable ? QStringLiteral("a line its reader cannot see")
                            : before[i].missing  ? QStringLiteral("(not stored)")
                                                 : visible(QuotedStoredText(was), false),
                            text);
    }
    const QString why =
        loadError.key.isEmpty()
            ? loadError.kindText()
            : QStringLiteral("%1 at \"%2\"").arg(loadError.kindText(), loadError.key);
    if (changes.isEmpty())
        out << "No stored text changed (the settings could not be loaded: " << why << ").\n";
    else
        out << "Changed in the store, which could not be loaded (" << why
            << "): " << changes.join(QStringLiteral(", ")) << ".\n";
}

// Options the next start loads otherwise than they were saved: "Hide built-in
// tabs", which loading never reads, comes back as the tabs' rules make it.
void tellLoadedOtherwise(const OptionSet &saved, const LoadedOptions &written, QTextStream &out)
{
    QStringList otherwise;
    for (int i = 0; i < OptionCount; ++i) {
        if (written.options.value(i) != saved.value(i))
            otherwise << QStringLiteral("\"%1\" saved %2, loads %3 (%4)")
                             .arg(keyOf(i), stateName(saved.value(i)),
                                  stateName(written.options.value(i)),
                                  OptionSet::info(i).readAtStart
                                      ? QStringLiteral("the rules change it as it loads")
                                      : QStringLiteral("loading never reads that key; the rules "
                                                       "of the tabs decide it"));
    }
    if (!otherwise.isEmpty())
        out << "At the next start: " << otherwise.join(QStringLiteral(", ")) << ".\n";
}

// A look at the file once the report is out: another program may have written it
// since, and the report says what we wrote.
void tellChangedSince(SettingsStore &store, const LoadedOptions &written, QTextStream &out)
{
    const LoadedOptions now = LoadStoredOptions(store);
    if (now.error && now.error->kind == StoreError::Kind::Unreadable && now.error->key.isEmpty()) {
        out << "Since this save, the settings file cannot be read: "
            << visible(now.error->reason, false) << ".\n";
        return;
    }
    QStringList changes;
    for (int i = 0; i < OptionCount; ++i) {
        const StoredText &text = now.stored[i];
        if (text.unreadable)
            changes << QStringLiteral("\"%1\" is in a line its reader cannot see").arg(keyOf(i));
        else if (text.missing)
            changes << QStringLiteral("\"%1\" is no longer stored").arg(keyOf(i));
        else if (const QString found = text.asStored.value_or(text.text);
                 found != written.stored[i].text)
            changes << QStringLiteral("\"%1\" is now %2")
                           .arg(keyOf(i), visible(QuotedStoredText(found), false));
    }
    if (!changes.isEmpty())
        out << "Since this save, the settings file has changed: "
            << changes.join(QStringLiteral(", ")) << ".\n";
}

// After a change under the store's lock: why nothing was saved, or the table of
// what was saved (as the next start loads it), what changed, and whether the file
// has changed since.
int tellSaved(const OptionsChange &change, SettingsStore &store, QTextStream &out, QTextStream &err,
              bool *saved, const std::function<void()> &tellOptionChanges)
{
    if (change.failure) {
        err << visible(change.failure->problem(), true) << Qt::endl; // not the window's advice
        return StoreFailed;
    }
    if (!change.saved) {
        tellLoadFailed(*change.before.error, err);
        return StoreFailed;
    }
    if (saved)
        *saved = true;
    show(change.after, store.location(kApplicationName), false, out, QStringLiteral("Saved to"));
    if (change.before.error)
        tellTextChanges(*change.before.error, change.before.stored, change.after, out);
    else
        tellOptionChanges();
    tellLoadedOtherwise(*change.saved, change.after, out);
    out.flush(); // the report stands as written; the look after it covers the time it took
    tellChangedSince(store, change.after, out);
    return Done;
}

// One line, the user's words quoted visibly: what is wrong, and where to read more.
int usageError(const QString &what, QTextStream &err)
{
    err << "velmora: " << visible(what, false) << " (see velmora --help)\n";
    return UsageError;
}

} // namespace

qsizetype CommandStart(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i)
        if (arguments[i].startsWith(QLatin1String("--")) || kHelpWords.contains(arguments[i]))
            return i;
    return -1;
}

int RunCommandLine(const QStringList &arguments, SettingsStore &store, QTextStream &out,
                   QTextStream &err, bool *saved)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    const auto nothingMore = [&] {
        return usageError(
            QStringLiteral("%1 takes nothing more, not \"%2\"").arg(command, rest.join(u' ')), err);
    };
    if (kHelpWords.contains(command)) {
        if (!rest.isEmpty())
            return nothingMore();
        out << usage();
        return Done;
    }
    if (command == u"--version") {
        if (!rest.isEmpty())
            return nothingMore();
        out << "Velmora " << VELMORA_VERSION << "\n";
        return Done;
    }
    if (command == u"--show") {
        if (!rest.isEmpty() && rest != QStringList{QStringLiteral("--json")})
            return usageError(
                QStringLiteral("--show takes --json alone, not \"%1\"").arg(rest.join(u' ')), err);
        const LoadedOptions loaded = LoadStoredOptions(store);
        if (loaded.error) {
            tellLoadFailed(*loaded.error, err);
            return StoreFailed;
        }
        show(loaded, store.location(kApplicationName), !rest.isEmpty(), out);
        return Done;
    }
    if (command == u"--json")
        return usageError(QStringLiteral("--json goes with --show: velmora --show --json"), err);
    if (command == u"--reset") {
        if (!rest.isEmpty())
            return nothingMore();
        // The first start: every key takes its default, and the rules run. A store
        // that cannot be loaded is no reason not to reset it.
        OptionsChange change = ChangeStoredOptions(
            store, [](const LoadedOptions &) { return LoadedOptions::firstStart().options; });
        return tellSaved(change, store, out, err, saved, [&] {
            tellChanges(change.before.options, *change.saved, {}, {},
                        QStringLiteral("Changed to the first-start state"), out);
        });
    }
    if (command == u"--set") {
        if (rest.isEmpty())
            return usageError(QStringLiteral("--set needs KEY=0|1, one or more"), err);
        std::vector<Word> words;
        for (const QString &assignment : rest) {
            const qsizetype equals = assignment.lastIndexOf(u'=');
            const auto index = optionNamed(assignment.left(equals));
            if (equals < 0)
                return usageError(
                    index
                        ? QStringLiteral("\"%1\" is no KEY=VALUE: write, say, %1=1").arg(assignment)
                        : QStringLiteral("\"%1\" is no KEY=VALUE; the keys are %2")
                              .arg(assignment, validKeys()),
                    err);
            if (!index)
                return usageError(QStringLiteral("unknown key in \"%1\"; the keys are %2")
                                      .arg(assignment, validKeys()),
                                  err);
            const QString value = assignment.mid(equals + 1);
            if (value != u"0" && value != u"1")
                return usageError(QStringLiteral("\"%1\": the value must be 0 (clear) or 1 (tick)")
                                      .arg(assignment),
                                  err);
            // The later word's clicks would run after the earlier one's rules, which
            // stay: no one change to report, nor one a script means.
            if (std::any_of(words.begin(), words.end(),
                            [&index](const Word &w) { return w.index == *index; }))
                return usageError(
                    QStringLiteral("\"%1\" is named twice; set each key once").arg(keyOf(*index)),
                    err);
            words.push_back({*index, OptionValue(value.toShort())});
        }
        Path path;
        OptionsChange change = ChangeStoredOptions(
            store, [&](const LoadedOptions &loaded) -> std::optional<OptionSet> {
                if (loaded.error)
                    return std::nullopt;
                return applied(loaded.options, words, path);
            });
        return tellSaved(change, store, out, err, saved, [&] {
            tellChanges(change.before.options, *change.saved, words, path,
                        QStringLiteral("Changed by the rules"), out);
        });
    }
    return usageError(command.isEmpty() ? QStringLiteral("nothing to do")
                                        : QStringLiteral("unknown command \"%1\"").arg(command),
                      err);
}
