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
#include <optional>
#include <vector>

namespace
{

const QString kApplicationName = QString::fromLatin1(kApplication);
const QString kSectionName = QString::fromLatin1(kSection);

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

// The key as spelt in the store, or its short form in any case.
std::optional<int> optionNamed(const QString &name)
{
    for (int i = 0; i < OptionCount; ++i) {
        if (name == keyOf(i) || name.compare(shortFormOf(i), Qt::CaseInsensitive) == 0)
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
               "       velmora --help | --version\n"
               "Keys: %1.\n"
               "Exit status: 0 done; 1 the store stops start-up or the save failed; 2 a usage "
               "error.\n")
        .arg(validKeys());
}

QString visible(const QString &text, bool keepLineBreaks, bool json = false)
{
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && !(keepLineBreaks && u == u'\n')) || (u >= 0x7f && u <= 0x9f))
            shown += QLatin1String(json ? "\\u" : "\\x") +
                     QString::number(u, 16).toUpper().rightJustified(json ? 4 : 2, u'0');
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

// Loads as start-up does; on failure, says why as the message box would.
std::optional<OptionSet> load(SettingsStore &store, QTextStream &err)
{
    OptionSet options;
    if (const auto error = LoadOptions(options, store)) {
        err << visible(error->message(), true) << Qt::endl;
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
        const bool byDefault = stored.missing && OptionSet::info(i).readAtStart;
        line(u'"' + keyOf(i) + u'"',
             stored.missing ? QStringLiteral("(not stored)")
                            : visible(QuotedStoredText(text), false),
             stateName(options.value(i)) +
                 (byDefault ? QStringLiteral(", the default") : QString()));
    }
    if (json) {
        const QJsonObject object{{QStringLiteral("settings"), where},
                                 {QStringLiteral("section"), kSectionName},
                                 {QStringLiteral("options"), entries}};
        // The document escapes all but DEL and the C1 controls itself.
        out << visible(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)),
                       true, true);
    }
}

// What a save changed against the options loaded before it (nothing is said when
// they could not be loaded), so that a script's log shows what the rules did
// besides what was asked. Judged by the end result: a later option's rules may
// have undone an earlier one.
void tellChanges(const OptionSet *before, const OptionSet &after,
                 const std::vector<std::pair<int, OptionValue>> &asked, const QString &otherChange,
                 QTextStream &out)
{
    if (!before)
        return;
    QStringList done, others, alreadySo;
    for (int i = 0; i < OptionCount; ++i) {
        const QString key = u'"' + keyOf(i) + u'"', now = stateName(after.value(i));
        const auto it = std::find_if(asked.begin(), asked.end(),
                                     [i](const auto &assignment) { return assignment.first == i; });
        const bool changed = before->value(i) != after.value(i);
        const QString change =
            QStringLiteral("%1 %2 (was %3)").arg(key, now, stateName(before->value(i)));
        const bool wasAsked = it != asked.end();
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

// After a change under the store's lock: what was saved and what changed, or why nothing was.
int tellSaved(const std::optional<StoreError> &error, const OptionChange &change,
              const std::vector<std::pair<int, OptionValue>> &asked, const QString &otherChange,
              SettingsStore &store, QTextStream &out, QTextStream &err)
{
    if (error) {
        err << visible(error->message().section(u'\n', 0, 1), true)
            << Qt::endl; // not the window's advice
        return StoreFailed;
    }
    // The store reads the file anew after a save.
    show(change.after, store, false, out, QStringLiteral("Saved to"));
    tellChanges(change.loadError ? nullptr : &change.before, change.after, asked, otherChange, out);
    return Done;
}

int usageError(const QString &what, QTextStream &err)
{
    err << "velmora: " << what << "\n" << usage();
    return UsageError;
}

} // namespace

qsizetype CommandStart(const QStringList &arguments)
{
    for (qsizetype i = 0; i < arguments.size(); ++i)
        if (arguments[i].startsWith(QLatin1String("--")))
            return i;
    return -1;
}

int RunCommandLine(const QStringList &arguments, SettingsStore &store, QTextStream &out,
                   QTextStream &err)
{
    const QString command = arguments.value(0);
    const QStringList rest = arguments.mid(1);
    if (command == u"--help" && rest.isEmpty()) {
        out << usage();
        return Done;
    }
    if (command == u"--version" && rest.isEmpty()) {
        out << "Velmora " << VELMORA_VERSION << "\n";
        return Done;
    }
    if (command == u"--show" && (rest.isEmpty() || rest == QStringList{QStringLiteral("--json")})) {
        const auto options = load(store, err);
        if (!options)
            return StoreFailed;
        show(*options, store, !rest.isEmpty(), out);
        return Done;
    }
    if (command == u"--reset" && rest.isEmpty()) {
        // The first start: every key read takes its default, and the rules run. A
        // store that cannot be loaded is no reason not to reset it.
        OptionChange change;
        const auto error = ChangeOptions(store, change, [](OptionChange &c) {
            c.after = OptionSet();
            for (int i = 0; i < OptionCount; ++i) {
                if (OptionSet::info(i).readAtStart)
                    c.after.setValue(i, OptionSet::info(i).defaultValue);
            }
            return true;
        });
        return tellSaved(error, change, {}, QStringLiteral("Changed to the first-start state"),
                         store, out, err);
    }
    if (command == u"--set" && !rest.isEmpty()) {
        std::vector<std::pair<int, OptionValue>> assignments;
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
            err << visible(change.loadError->message(), true) << Qt::endl;
            return StoreFailed;
        }
        return tellSaved(error, change, assignments, QStringLiteral("Changed by the rules"), store,
                         out, err);
    }
    return usageError(command.isEmpty()
                          ? QStringLiteral("nothing to do")
                          : QStringLiteral("cannot make sense of \"%1\"").arg(arguments.join(u' ')),
                      err);
}
