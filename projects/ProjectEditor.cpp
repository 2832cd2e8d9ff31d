// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProjectEditor.h"

#include "data/Dates.h"
#include "data/basMain.h"
#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>

#include <limits>
#include <memory>

namespace {
// Names in a folder, letter case folded (the shares ignore it); empty when
// the folder cannot be read.
QSet<QString> folderNames(const QString &folder)
{
    QSet<QString> names;
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QString &name : entries)
        names.insert(name.toCaseFolded());
    return names;
}

// The number a text begins with, leading spaces skipped; 0 when it begins with
// none. False when that number does not fit in 32 bits.
bool leadingNumber(const QString &text, qint64 *out)
{
    int i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    const int start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    const int digits = i;
    while (i < text.size() && text.at(i).isDigit() && text.at(i).unicode() < 0x80)
        ++i;
    *out = 0;
    if (i == digits)
        return true;
    bool ok = false;
    const qint64 n = text.mid(start, i - start).toLongLong(&ok);
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return false;
    *out = n;
    return true;
}

QString changedElsewhere(const QString &record)
{
    return QStringLiteral("%1 è stato modificato da un'altra postazione dopo che è stato mostrato: salvando si perdono "
                          "le sue modifiche.\nSovrascrivere ?")
        .arg(record);
}
} // namespace

ProjectEditor::ProjectEditor(Session &session, Dialogs dialogs) : m_session(session), m_dialogs(std::move(dialogs)) {}

QString ProjectEditor::projectFolder(const QString &project) const
{
    return Paths::join(m_session.state.PercorsoDati, project);
}

QString ProjectEditor::itemFolder(const QString &project, const QString &item) const
{
    return Paths::join(projectFolder(project), item);
}

bool ProjectEditor::ensureFolder(const QString &path)
{
    // Only the last component is made: a data folder that has gone away is
    // never made again here, empty.
    if (!Paths::staysInside(path, m_session.state.PercorsoDati)) {
        m_dialogs.warn(QStringLiteral("La cartella %1 è un collegamento che porta fuori dalla cartella dati: "
                                      "operazione rifiutata.")
                           .arg(path));
        return false;
    }
    const QFileInfo info(path);
    if (info.isDir() || (!info.exists() && info.dir().exists() && info.dir().mkdir(info.fileName())))
        return true;
    m_dialogs.warn(QStringLiteral("Impossibile creare la cartella %1.").arg(path));
    return false;
}

bool ProjectEditor::checkFolderName(const QString &code)
{
    if (Paths::isSafeFolderName(code))
        return true;
    m_dialogs.warn(QStringLiteral("Il codice \"%1\" non può essere il nome di una cartella: non deve essere vuoto, "
                                  "né \".\" o \"..\", né contenere / \\ : * ? \" < > | o caratteri di controllo.")
                       .arg(code));
    return false;
}

QString ProjectEditor::storedProjectCode(const QString &code)
{
    RecordView &projects = m_session.archive.projects();
    if (projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code)) && !projects.noMatch())
        return projects.text(u"codice");
    return {};
}

QString ProjectEditor::itemFolderClash(const QString &project, const QString &code, int level)
{
    const RunState &s = m_session.state;
    // Project P keeps its notes in P\P: an item P would have that as its folder.
    if (code.compare(project, Qt::CaseInsensitive) == 0)
        return QStringLiteral("Il codice %1 è il codice del progetto: %2 deve avere una cartella e note proprie.")
            .arg(code, s.NomeScheda(level + 1));
    const int other = level == 1 ? 2 : 1;
    RecordView &items = m_session.archive.items();
    bool taken = false;
    if (items.matches(QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=") + QuotaSQL(code)
                          + QStringLiteral(" AND Livello=") + QString::number(other),
                      &taken)
        && taken)
        return QStringLiteral("Il codice %1 è già usato nel progetto %2 da un elemento di %3: la cartella e le note "
                              "sarebbero le stesse.")
            .arg(code, project, s.NomeScheda(other + 1));
    return {};
}

bool ProjectEditor::codeIsFree(int level, const QString &code, const QString &project, const QSet<QString> &folders,
                               bool *failed)
{
    RecordView &components = m_session.archive.components();
    bool found = false;
    const auto ask = [&](RecordView &view, const QString &criterion) {
        if (!view.matches(criterion, &found))
            *failed = true;
        return !*failed && !found;
    };
    // A folder left by a deleted record must not be taken over either.
    if (folders.contains(code.toCaseFolded()))
        return false;
    if (level == 0) {
        RecordView &projects = m_session.archive.projects();
        return ask(projects, QStringLiteral("codice=") + QuotaSQL(code))
               && ask(components, QStringLiteral("codprj=") + QuotaSQL(code));
    }
    RecordView &items = m_session.archive.items();
    if (code.compare(project, Qt::CaseInsensitive) == 0)
        return false;
    return ask(items, QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level))
           && ask(items, QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=") + QuotaSQL(code))
           && ask(components, QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                                  + QuotaSQL(code));
}

QString ProjectEditor::proposeCode(int level, const QString &project)
{
    RunState &s = m_session.state;
    const QString prefix = s.PrefissoScheda(level + 1);
    if (level == 0) {
        const Outcome<int> next = ProssimoCodice(m_session.archive, QStringLiteral("maxcodice"), QStringLiteral("codice"));
        if (!next.ok()) {
            m_dialogs.error(next.error);
            return {};
        }
        // The proposal never names a project that exists, nor one whose
        // folder or drawings are still there.
        // The folder is listed once: on a share every look costs a round trip.
        const QSet<QString> folders = folderNames(s.PercorsoDati);
        bool failed = false;
        {
            // One snapshot for the whole search, never held across a message.
            Store::ReadScope snapshot(m_session.archive.store());
            for (qint64 number = next.value; number <= std::numeric_limits<qint32>::max() && !failed; ++number)
                if (codeIsFree(0, prefix + QString::number(number), project, folders, &failed))
                    return prefix + QString::number(number);
        }
        if (failed) {
            m_dialogs.error(m_session.archive.projects().lastError().isEmpty()
                                ? m_session.archive.components().lastError()
                                : m_session.archive.projects().lastError());
            return {};
        }
        m_dialogs.warn(QStringLiteral("Numerazione dei progetti esaurita."));
        return {};
    }
    // The number is drawn past taken codes in the transaction that moves the
    // counter, so the search costs one lock however many codes are taken.
    const QSet<QString> folders = folderNames(projectFolder(project));
    bool failed = false;
    const Outcome<int> next = ProssimoCodiceLivello(
        m_session.archive, QStringLiteral("maxcodice"), level, QStringLiteral("codice"), [&](int number) {
            // A failed look-up ends the search: the draw then says why.
            return failed || codeIsFree(level, prefix + QString::number(number), project, folders, &failed);
        });
    if (failed && next.ok()) {
        m_dialogs.error(m_session.archive.items().lastError());
        return {};
    }
    if (!next.ok()) {
        m_dialogs.error(next.error);
        return {};
    }
    return prefix + QString::number(next.value);
}

bool ProjectEditor::offerFreeCode(int level, QString *code, const QString &project)
{
    const QString free = proposeCode(level, project);
    if (free.isEmpty())
        return false;
    const QString what = level == 0 ? QStringLiteral("un altro progetto") : QStringLiteral("un altro elemento");
    if (!m_dialogs.askDefaultNo(QStringLiteral("Il codice %1 è già usato da %2 e non viene sovrascritto: "
                                               "non è stato salvato nulla.\nSalvare con il primo codice "
                                               "libero, %3 ?")
                                    .arg(*code, what, free)))
        return false;
    *code = free;
    return true;
}

bool ProjectEditor::askToStoreAgain(const QString &record)
{
    return m_dialogs.askDefaultNo(QStringLiteral("%1 è stato eliminato da un'altra postazione dopo che è stato "
                                                 "mostrato. Salvarlo di nuovo ?")
                                      .arg(record));
}

ProjectEditor::Stored ProjectEditor::store(RecordView &view, bool fieldsSet)
{
    if (fieldsSet && view.update())
        return Stored::Yes;
    if (fieldsSet && view.conflict()) {
        view.cancelUpdate();
        return Stored::Conflict;
    }
    const QString error = view.lastError();
    view.cancelUpdate();
    m_dialogs.error(error);
    return Stored::Failed;
}

bool ProjectEditor::hasLevel2Below(const QString &project, const QString &item, QString *error)
{
    // In the tree a level-2 row hangs under the last level-1 row before it.
    RecordView &items = m_session.archive.items();
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(project);
    bool after = false;
    bool ran = items.findFirst(criterion);
    for (; ran && !items.noMatch(); ran = items.findNext(criterion)) {
        const qint64 level = items.value(u"livello").toLongLong();
        if (after && level == 2)
            return true;
        if (level == 1)
            after = items.text(u"codice").compare(item, Qt::CaseInsensitive) == 0;
    }
    if (!ran)
        *error = items.lastError();
    return false;
}

bool ProjectEditor::saveProject(ProjectForm &form)
{
    RunState &s = m_session.state;
    const QString code = form.code;
    qint64 client = 0;
    if (!leadingNumber(form.client, &client)) {
        m_dialogs.warn(QStringLiteral("Il codice cliente \"%1\" è fuori dall'intervallo ammesso.").arg(form.client.trimmed()));
        return false;
    }
    RecordView &projects = m_session.archive.projects();
    // Only the project chosen and shown is edited, under its stored spelling;
    // any other code makes a new project, which never replaces a stored one.
    QString stored;
    const bool isShown = !shown.project.isEmpty() && code.compare(shown.project, Qt::CaseInsensitive) == 0;
    if (isShown) {
        if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(shown.project))) {
            m_dialogs.error(projects.lastError());
            return false;
        }
        if (!projects.noMatch())
            stored = projects.text(u"codice");
        else if (!askToStoreAgain(QStringLiteral("Il progetto %1").arg(shown.project)))
            return false;
        else
            // Asked and answered: stored again as a new project.
            shown.project.clear(), shown.projectRow.clear();
    }
    const bool editing = !stored.isEmpty();
    if (editing) {
        if (!(shown.projectRow.isEmpty() ? projects.edit() : projects.edit(shown.projectRow))) {
            m_dialogs.error(projects.lastError());
            return false;
        }
    } else {
        if (projectExists(code))
            return offerFreeCode(0, &form.code, QString()) && saveProject(form);
        if (!ensureFolder(projectFolder(code)))
            return false;
        projects.addNewUnique(QStringLiteral("codice=") + QuotaSQL(code));
        stored = code;
    }
    s.ClienteCorrente = QString::number(client);
    const bool ok = projects.setValue(u"codice", stored) && projects.setValue(u"descr", form.descr)
                    && projects.setValue(u"ufficio", trimSpaces(form.ufficio))
                    && projects.setValue(u"reparto", trimSpaces(form.reparto))
                    && projects.setValue(u"operatore", trimSpaces(form.operatore))
                    && projects.setValue(u"telefono", trimSpaces(form.telefono))
                    && projects.setValue(u"email", trimSpaces(form.email))
                    && projects.setValue(u"fax", trimSpaces(form.fax))
                    && projects.setValue(u"specifica", trimSpaces(form.specifica))
                    && projects.setValue(u"note", QString(QLatin1String("")))
                    && projects.appendChunk(u"note", trimSpaces(form.note))
                    // A date that could not be read stays as it was stored.
                    && (!form.date.isValid() || projects.setValue(u"data", Dates::dayText(form.date.date())))
                    && projects.setValue(u"codcli", s.ClienteCorrente);
    const Stored result = store(projects, ok);
    if (result == Stored::Conflict && editing && projects.gone()) {
        // Deleted by another workstation after the check above.
        if (!askToStoreAgain(QStringLiteral("Il progetto %1").arg(stored)))
            return false;
        shown.project.clear();
        shown.projectRow.clear();
        return saveProject(form);
    }
    if (result == Stored::Conflict && editing) {
        if (!m_dialogs.askDefaultNo(changedElsewhere(QStringLiteral("Il progetto %1").arg(stored))))
            return false;
        // Asked and answered: over what is stored now.
        if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(stored)) || projects.noMatch())
            return false;
        shown.projectRow = projects.currentValues();
        return saveProject(form);
    }
    if (result == Stored::Conflict)
        // Another workstation stored this code since the check above.
        return offerFreeCode(0, &form.code, QString()) && saveProject(form);
    if (result == Stored::Failed)
        return false;
    s.ProgettoCorrente = stored;
    Paths::setWorkingFolder(projectFolder(stored));
    return true;
}

bool ProjectEditor::saveItem(ItemForm &form)
{
    RunState &s = m_session.state;
    const int level = form.level;
    const QString code = form.code;
    if (code.isEmpty()) {
        m_dialogs.warn(QStringLiteral("Manca il codice di %1!").arg(s.NomeScheda(level + 1)));
        return false;
    }
    if (!checkFolderName(code))
        return false;
    // Items go under the stored spelling of their project's code.
    const QString project = storedProjectCode(s.ProgettoCorrente);
    if (project.isEmpty()) {
        m_dialogs.warn(QStringLiteral("Il progetto %1 non è in archivio: salvarlo prima di aggiungere elementi.")
                           .arg(s.ProgettoCorrente));
        return false;
    }
    s.ProgettoCorrente = project;
    RecordView &items = m_session.archive.items();
    // An item code belongs to one project only, within its level.
    const QString sameCode = QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    for (items.findFirst(sameCode); !items.noMatch(); items.findNext(sameCode)) {
        const QString owner = items.text(u"codprj");
        if (owner.compare(project, Qt::CaseInsensitive) != 0) {
            m_dialogs.warn(QStringLiteral("Il codice %1 è già usato in %2 dal progetto %3.")
                               .arg(code, s.NomeScheda(level + 1), owner));
            return false;
        }
    }
    const QString clash = itemFolderClash(project, code, level);
    if (!clash.isEmpty()) {
        m_dialogs.warn(clash);
        return false;
    }
    Paths::setWorkingFolder(s.PercorsoDati);
    Paths::setWorkingFolder(projectFolder(project));
    // Only the item chosen and shown is edited, under its stored spelling; any
    // other code is a new item, which never replaces a stored one.
    QString stored;
    const bool isShown = !shown.item[level].isEmpty() && code.compare(shown.item[level], Qt::CaseInsensitive) == 0
                         && project.compare(shown.itemProject[level], Qt::CaseInsensitive) == 0;
    const QString criterion = QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                              + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(level);
    if (!items.findFirst(criterion)) {
        m_dialogs.error(items.lastError());
        return false;
    }
    if (!items.noMatch() && !isShown)
        return offerFreeCode(level, &form.code, project) && saveItem(form);
    if (items.noMatch() && isShown) {
        if (!askToStoreAgain(QStringLiteral("L'elemento %1").arg(shown.item[level])))
            return false;
        // Asked and answered: stored again as a new item.
        shown.item[level].clear();
        shown.itemRow[level].clear();
    }
    const bool editing = !items.noMatch();
    const auto projectGone = std::make_shared<bool>(false);
    if (editing) {
        stored = items.text(u"codice");
        if (!(shown.itemRow[level].isEmpty() ? items.edit() : items.edit(shown.itemRow[level]))) {
            m_dialogs.error(items.lastError());
            return false;
        }
    } else {
        if (!ensureFolder(projectFolder(project)) || !ensureFolder(itemFolder(project, code)))
            return false;
        stored = code;
        const int other = level == 1 ? 2 : 1;
        const QString sameFolder = QStringLiteral("codprj=") + QuotaSQL(project) + QStringLiteral(" AND codice=")
                                   + QuotaSQL(code) + QStringLiteral(" AND Livello=") + QString::number(other);
        // Inside the transaction that adds the item, the project must still
        // be there: an item saved while another workstation deletes its
        // project would otherwise be left without one.
        RecordView &projects = m_session.archive.projects();
        const QString owner = QStringLiteral("codice=") + QuotaSQL(project);
        items.addNew([sameCode, sameFolder, owner, &projects, projectGone](RecordView &view, QString *error) {
            bool found = false;
            if (!projects.matches(owner, &found)) {
                *error = projects.lastError();
                return false;
            }
            if (!found) {
                *projectGone = true;
                *error = QStringLiteral("Il progetto non è più in archivio.");
                return false;
            }
            for (const QString &c : {sameCode, sameFolder}) {
                if (!view.matches(c, &found)) {
                    *error = view.lastError();
                    return false;
                }
                if (found) {
                    *error = QStringLiteral("Esiste già un elemento con lo stesso codice.");
                    return false;
                }
            }
            return true;
        });
    }
    const bool ok = items.setValue(u"codprj", project) && items.setValue(u"codice", stored)
                    && items.setValue(u"descr", form.descr) && items.setValue(u"livello", level)
                    && (!form.date.isValid() || items.setValue(u"data", form.date));
    const Stored result = store(items, ok);
    if (result == Stored::Conflict && editing && items.gone()) {
        // Deleted by another workstation after the check above.
        if (!askToStoreAgain(QStringLiteral("L'elemento %1").arg(stored)))
            return false;
        shown.item[level].clear();
        shown.itemRow[level].clear();
        return saveItem(form);
    }
    if (result == Stored::Conflict && editing) {
        if (!m_dialogs.askDefaultNo(changedElsewhere(QStringLiteral("L'elemento %1").arg(stored))))
            return false;
        if (!items.findFirst(criterion) || items.noMatch())
            return false;
        shown.itemRow[level] = items.currentValues();
        return saveItem(form);
    }
    if (result == Stored::Conflict && *projectGone) {
        m_dialogs.warn(QStringLiteral("Il progetto %1 è stato eliminato da un'altra postazione: l'elemento non è "
                                      "stato salvato.")
                           .arg(project));
        return false;
    }
    if (result == Stored::Conflict)
        // Another workstation stored this code since the checks above.
        return offerFreeCode(level, &form.code, project) && saveItem(form);
    if (result == Stored::Failed)
        return false;
    shown.item[level] = stored;
    shown.itemProject[level] = project;
    if (items.findFirst(criterion) && !items.noMatch())
        shown.itemRow[level] = items.currentValues();
    Paths::setWorkingFolder(itemFolder(project, stored));
    return true;
}

bool ProjectEditor::deleteProject(const QString &code)
{
    RecordView &projects = m_session.archive.projects();
    if (!projects.findFirst(QStringLiteral("codice=") + QuotaSQL(code))) {
        m_dialogs.error(projects.lastError());
        return false;
    }
    if (projects.noMatch())
        return false;
    // Looked at inside the delete's own transaction: an item another
    // workstation adds meanwhile either comes first and stops the delete,
    // or finds the project gone.
    RecordView &items = m_session.archive.items();
    const QString itemsOf = QStringLiteral("codprj=") + QuotaSQL(code);
    const bool deleted = projects.deleteCurrent([&items, itemsOf](QString *refusal, QString *error) {
        bool found = false;
        if (!items.matches(itemsOf, &found)) {
            *error = items.lastError();
            return false;
        }
        if (found)
            *refusal = QStringLiteral("Impossibile eliminare il progetto, contiene elementi associati !");
        return !found;
    });
    if (!deleted)
        (projects.conflict() ? m_dialogs.notice : m_dialogs.error)(projects.lastError());
    return deleted;
}

bool ProjectEditor::deleteItem(int level, const QString &code, const QString &project)
{
    const RunState &s = m_session.state;
    RecordView &items = m_session.archive.items();
    const QString criterion = QStringLiteral("codice=") + QuotaSQL(code) + QStringLiteral(" AND livello=")
                              + QString::number(level) + QStringLiteral(" AND codprj=") + QuotaSQL(project);
    if (!items.findFirst(criterion) || items.noMatch())
        return false;
    // Deleting it would move its level-2 items under another level-1 item:
    // looked at inside the delete's own transaction.
    RecordView::DeleteCheck check;
    if (level == 1)
        check = [this, project, item = items.text(u"codice"),
                 refused = QStringLiteral("Impossibile eliminare l'elemento, contiene elementi di %1 associati !")
                               .arg(s.NomeScheda(3))](QString *refusal, QString *error) {
            if (hasLevel2Below(project, item, error))
                *refusal = refused;
            return refusal->isEmpty() && error->isEmpty();
        };
    const bool deleted = items.deleteCurrent(check);
    if (!deleted)
        (items.conflict() ? m_dialogs.notice : m_dialogs.error)(items.lastError());
    else
        shown.item[level].clear();
    return deleted;
}
