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

using Assignments = std::vector<std::pair<int, OptionValue>>;

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
               "                                     other arguments not starting with -- are "
               "ignored\n"
               "       velmora --show [--json]       where the settings live, and for each key "
               "the\n"
               "                                     text stored and the option after loading\n"
               "       velmora --set KEY=0|1 ...     tick (1) or clear (0) options as clicks "
               "would,\n"
               "                                     then save all twelve as Ok does and say "
               "what\n"
               "                                     changed (the rules may change others)\n"
               "       velmora --reset               save the first-start state\n"
               "       velmora --help | --version    this help (-h, -? or /? too), or the version\n"
               "Keys, in any case: %1.\n"
               "Exit status: 0 done; 1 the store stops start-up, the save failed, or the answer\n"
               "could not be written; 2 a usage error, or no display that answers for the window,\n"
               "or Qt cannot start its window system there.\n")
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
        err << "Set it to 0 or 1 there or delete the key, or run velmora --reset to save the\n"
               "first-start state of all twelve options; --set cannot, as it loads them first.\n";
    err.flush();
}

// Loads as start-up does; on failure, says why.
std::optional<OptionSet> load(SettingsStore &store, QTextStream &err)
{
    OptionSet options;
    if (const auto error = LoadOptions(options, store)) {
        tellLoadFailed(*error, err);
        return std::nullopt;
    }
    return options;
}

// `heading` names what the table is: the settings as they are, or as just saved.
void show(const OptionSet &options, SettingsStore &store, bool json, QTextStream &out,
          const QString &heading = QStringLiteral("Settings"))
{
    const QString where = store.location(kApplicationName);
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
        const StoredText stored = store.GetSetting(kApplicationName, kSectionName, keyOf(i), 0);
        const QString text = stored.asStored.value_or(stored.text);
        if (json) { // the text whole: a script gets the data, not a message
            entries.append(QJsonObject{
                {QStringLiteral("key"), keyOf(i)},
                {QStringLiteral("stored"), stored.missing ? QJsonValue() : QJsonValue(text)},
                {QStringLiteral("state"), stateName(options.value(i))}});
            continue;
        }
        // What decided the option: its key alone, the default for a missing key, or
        // the rules of a key read after it (Home=1 clears Left).
        QString decided;
        if (const OptionInfo &info = OptionSet::info(i); info.readAtStart) {
            const std::optional<OptionValue> read =
                stored.missing ? info.defaultValue
                               : ConvertStoredText(stored.text, stored.isPlainText).value;
            if (read && *read != options.value(i))
                decided = QStringLiteral(", by the rules");
            else if (stored.missing)
                decided = QStringLiteral(", the default");
        }
        line(u'"' + keyOf(i) + u'"',
             stored.missing ? QStringLiteral("(not stored)")
                            : visible(QuotedStoredText(text), false),
             stateName(options.value(i)) + decided);
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

// What a save changed against the options loaded before it, so that a script's
// log shows what the rules did besides what was asked. Judged by the end result
// and by the last word on each key: a later option's rules may have undone an
// earlier one, and a later assignment replaces an earlier one.
void tellChanges(const OptionSet &before, const OptionSet &after, const Assignments &asked,
                 const QString &otherChange, QTextStream &out)
{
    QStringList done, others, alreadySo;
    for (int i = 0; i < OptionCount; ++i) {
        const QString key = u'"' + keyOf(i) + u'"', now = stateName(after.value(i));
        const auto it = std::find_if(asked.rbegin(), asked.rend(),
                                     [i](const auto &assignment) { return assignment.first == i; });
        const bool changed = before.value(i) != after.value(i);
        const QString change =
            QStringLiteral("%1 %2 (was %3)").arg(key, now, stateName(before.value(i)));
        const bool wasAsked = it != asked.rend();
        if (wasAsked && after.isTicked(i) != (it->second != 0))
            others << QStringLiteral("%1 %2 (%3 as asked, then undone by the rules)")
                          .arg(key, now, stateName(it->second));
        else if (wasAsked && changed)
            done << change;
        else if (wasAsked)
            alreadySo << key + u' ' + now;
        else if (changed)
            others << change;
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

// The stored texts of all keys, as a save under the lock finds them (a missing
// key's is its default's).
std::vector<StoredText> storedTexts(SettingsStore &store)
{
    std::vector<StoredText> texts;
    for (int i = 0; i < OptionCount; ++i)
        texts.push_back(store.GetSetting(kApplicationName, kSectionName, keyOf(i),
                                         OptionSet::info(i).defaultValue));
    return texts;
}

// What a save over a store that could not be loaded changed: with no options to
// compare with, the texts it replaced.
void tellTextChanges(const StoreError &loadError, const std::vector<StoredText> &before,
                     const OptionSet &saved, QTextStream &out)
{
    QStringList changes;
    const std::vector<SettingText> texts = OptionTexts(saved);
    for (int i = 0; i < OptionCount; ++i) {
        const QString was = before[i].asStored.value_or(before[i].text);
        if (!before[i].unreadable && was == texts[i].text)
            continue;
        changes << QStringLiteral("\"%1\" from %2 to \"%3\"")
                       .arg(keyOf(i),
                            before[i].unreadable ? QStringLiteral("a line its reader cannot see")
                            : before[i].missing  ? QStringLiteral("(not stored)")
                                                 : visible(QuotedStoredText(was), false),
                            texts[i].text);
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

// A change of the options as the store holds them: the read, the change and the
// save run under the store's lock, so that no other save comes between them and
// is undone. `change` gets `before` and `loadError` filled in and `after` a copy of
// `before`; it makes `after` what is to be saved, or returns false to save
// nothing. It may run more than once, each time on the store as it is then.
struct OptionChange {
    OptionSet before;                    // as loaded, as far as the loading went
    std::optional<StoreError> loadError; // what stopped the loading, if anything
    OptionSet after;                     // what is saved
};
std::optional<StoreError> ChangeOptions(SettingsStore &store, OptionChange &result,
                                        const std::function<bool(OptionChange &)> &change)
{
    const auto failure =
        store.commit(kApplicationName, [&]() -> std::optional<std::vector<SettingText>> {
            result = {};
            result.loadError = LoadOptions(result.before, store);
            result.after = result.before;
            if (!change(result))
                return std::nullopt;
            return OptionTexts(result.after);
        });
    if (failure)
        return StoreError::writeFailed(store.location(kApplicationName), *failure);
    return std::nullopt;
}

// After a change under the store's lock: what a load now gives and what changed,
// or why nothing was saved.
int tellSaved(const std::optional<StoreError> &error, const OptionChange &change,
              const Assignments &asked, const QString &otherChange,
              const std::vector<StoredText> &storedBefore, SettingsStore &store, QTextStream &out,
              QTextStream &err)
{
    if (error) {
        err << visible(error->problem(), true) << Qt::endl; // not the window's advice
        return StoreFailed;
    }
    // Not `change.after`: the next start loads the file, in which "Hide built-in
    // tabs" comes back through the tabs rather than as saved. The store reads the
    // file anew after a save.
    OptionSet now;
    if (const auto loadError = LoadOptions(now, store)) { // the save stands all the same
        err << "Saved, but the settings no longer load:\n";
        tellLoadFailed(*loadError, err);
        return Done;
    }
    show(now, store, false, out, QStringLiteral("Saved to"));
    if (change.loadError)
        tellTextChanges(*change.loadError, storedBefore, change.after, out);
    else
        tellChanges(change.before, now, asked, otherChange, out);
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
                   QTextStream &err)
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
        const auto options = load(store, err);
        if (!options)
            return StoreFailed;
        show(*options, store, !rest.isEmpty(), out);
        return Done;
    }
    if (command == u"--json")
        return usageError(QStringLiteral("--json goes with --show: velmora --show --json"), err);
    if (command == u"--reset") {
        if (!rest.isEmpty())
            return nothingMore();
        // The first start: every key read takes its default, and the rules run. A
        // store that cannot be loaded is no reason not to reset it.
        OptionChange change;
        std::vector<StoredText> storedBefore;
        const auto error = ChangeOptions(store, change, [&storedBefore, &store](OptionChange &c) {
            storedBefore = storedTexts(store);
            c.after = OptionSet();
            for (int i = 0; i < OptionCount; ++i) {
                if (OptionSet::info(i).readAtStart)
                    c.after.setValue(i, OptionSet::info(i).defaultValue);
            }
            return true;
        });
        return tellSaved(error, change, {}, QStringLiteral("Changed to the first-start state"),
                         storedBefore, store, out, err);
    }
    if (command == u"--set") {
        if (rest.isEmpty())
            return usageError(QStringLiteral("--set needs KEY=0|1, one or more"), err);
        Assignments assignments;
        for (const QString &assignment : rest) {
            const qsizetype equals = assignment.lastIndexOf(u'=');
            if (equals < 0)
                return usageError(
                    QStringLiteral("\"%1\" is no KEY=VALUE: write, say, %1=1").arg(assignment),
                    err);
            const auto index = optionNamed(assignment.left(equals));
            if (!index)
                return usageError(QStringLiteral("unknown key in \"%1\"; the keys are %2")
                                      .arg(assignment, validKeys()),
                                  err);
            const QString value = assignment.mid(equals + 1);
            if (value != u"0" && value != u"1")
                return usageError(QStringLiteral("\"%1\": the value must be 0 (clear) or 1 (tick)")
                                      .arg(assignment),
                                  err);
            assignments.emplace_back(*index, OptionValue(value.toShort()));
        }
        // Read, clicked and saved under the store's lock: a save by someone else
        // in between would otherwise be undone by our twelve keys.
        OptionChange change;
        const auto error = ChangeOptions(store, change, [&assignments](OptionChange &c) {
            if (c.loadError)
                return false;
            for (const auto &[index, value] : assignments) {
                if (c.after.isTicked(index) != (value != 0)) // already so: left alone, as a click
                    c.after.click(index);
            }
            return true;
        });
        if (change.loadError) {
            tellLoadFailed(*change.loadError, err);
            return StoreFailed;
        }
        return tellSaved(error, change, assignments, QStringLiteral("Changed by the rules"), {},
                         store, out, err);
    }
    return usageError(command.isEmpty() ? QStringLiteral("nothing to do")
                                        : QStringLiteral("unknown command \"%1\"").arg(command),
                      err);
}
