// marrowin-cli: prints a PST file's folder tree, a folder's records or one
// record, searches files through their search indexes, builds the indexes,
// or converts a file's folders into files; all through the same document,
// caches, search and log as the program.

#include "cli/ConvertCommand.h"
#include "common/ProductProfile.h"
#include "host/shell/MessageHandler.h"
#include "sorrel/items/PstItemFactory.h"
#include "sorrel/items/PstMailItem.h"
#include "sorrel/items/PstTextDecoding.h"
#include "sorrel/search/PstSearch.h"
#include "sorrel/search/PstSearchRecords.h"
#include "sorrel/store/PstDocument.h"
#include "sorrel/store/PstForest.h"

#include <Corbelin/SupportFoundation.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const char* const kUsage =
    "Usage: marrowin-cli [--json] tree FILE | items FILE FOLDER | show FILE ID | check FILE\n"
    "       marrowin-cli [--json] search [--field FIELD] [--folder FOLDER] FILE... -- QUERY\n"
    "       marrowin-cli index FILE...\n"
    "       marrowin-cli convert FILE OUTDIR [--formats LIST] [--folder FOLDER] [--keep-empty-folders]\n"
    "       marrowin-cli convert --help   (formats, progress and exit status of convert)\n"
    "       marrowin-cli --help | --version\n"
    "  FOLDER: folder names joined by '/' as 'tree' prints them, from the first level below the file\n"
    "          (e.g. \"Top of Personal Folders/Inbox\"; \"\" is the file itself), or #ID with a folder id\n"
    "  ID:     a descriptor id as 'tree' and 'items' print it (decimal, or hexadecimal with 0x)\n"
    "  FIELD:  any (default), subject, from, recipient, body or attachment\n"
    "  check:  reads every folder and item as the viewer shows them (bodies, attachments) and\n"
    "          lists the folders with damaged items; exits 0 also when items were skipped\n";

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage()
{
    err() << kUsage;
    return 2;
}

QString kindName(PstItemKind kind)
{
    switch (kind) {
    case PstItemKind::Mail: return QStringLiteral("mail");
    case PstItemKind::Calendar: return QStringLiteral("calendar");
    case PstItemKind::Contact: return QStringLiteral("contact");
    case PstItemKind::Journal: return QStringLiteral("journal");
    case PstItemKind::Task: return QStringLiteral("task");
    case PstItemKind::Note: return QStringLiteral("note");
    case PstItemKind::Folder: return QStringLiteral("folder");
    }
    return QStringLiteral("unknown");
}

QString oneLine(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

QString listDate(const PstItem& item)
{
    return optionalDateText(item.sortTime(), kListDateFormat);
}

QString fieldValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::LongLong)
        return QDateTime::fromSecsSinceEpoch(value.toLongLong(), Qt::UTC).toString(Qt::ISODate);
    return value.toString();
}

bool parseId(QString text, uint64_t& id)
{
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    bool ok = false;
    id = text.toULongLong(&ok, 0);
    return ok && id != 0;
}

// "%n damaged item(s) skipped" in English: the terminal gets no translation.
QString damagedLine(int count)
{
    return QStringLiteral("%1 damaged item(s) skipped").arg(count);
}

// The tree walks folders only; each folder's count is the one it records
// about itself, so no item is parsed (the damaged ones it can tell are
// folders that do not parse).
QJsonObject treeJson(const PstFolderItemPtr& folder)
{
    QJsonArray subfolders;
    for (const PstFolderItemPtr& sub : folder->subfolders())
        subfolders.append(treeJson(sub));
    QJsonObject json{{"name", folder->name()},
                     {"id", QString::number(folder->id())},
                     {"items", folder->contentCount()},
                     {"subfolders", subfolders}};
    if (folder->damagedCount() > 0)
        json.insert("damaged", folder->damagedCount());
    return json;
}

void printTree(const PstFolderItemPtr& folder, int depth)
{
    out() << QString(depth * 2, QLatin1Char(' ')) << oneLine(folder->name()) << " (" << folder->contentCount()
          << " items) #" << folder->id();
    if (folder->damagedCount() > 0)
        out() << " [" << damagedLine(folder->damagedCount()) << ']';
    out() << '\n';
    for (const PstFolderItemPtr& sub : folder->subfolders())
        printTree(sub, depth + 1);
}

PstFolderItemPtr findByNames(PstFolderItemPtr folder, const QString& path)
{
    for (const QString& name : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        folder->loadChildren();
        PstFolderItemPtr next;
        for (const PstFolderItemPtr& sub : folder->subfolders()) {
            if (sub->name() == name) {
                next = sub;
                break;
            }
        }
        if (!next)
            return {};
        folder = next;
    }
    return folder;
}

// FOLDER as the usage line describes it, loaded, last in the list of the
// folders on its way down (kept while it is used); empty when there is none.
// By id the folder is looked up, not searched for.
QList<PstFolderItemPtr> findFolder(const PstFolderItemPtr& fileNode, const QString& spec)
{
    QList<PstFolderItemPtr> path;
    uint64_t id = 0;
    if (!spec.startsWith(QLatin1Char('#'))) {
        if (PstFolderItemPtr folder = findByNames(fileNode, spec))
            path.append(folder);
    } else if (parseId(spec, id)) {
        path = pstFolderPathById(fileNode, id);
    }
    if (!path.isEmpty())
        path.last()->loadChildren();
    return path;
}

int listItems(const PstFolderItemPtr& folder, bool json)
{
    if (folder->damagedCount() > 0)
        err() << damagedLine(folder->damagedCount()) << '\n';
    QJsonArray records;
    for (const std::shared_ptr<PstItem>& item : folder->items()) {
        if (json) {
            records.append(QJsonObject{{"id", QString::number(item->id())},
                                       {"kind", kindName(item->kind())},
                                       {"title", item->title()},
                                       {"subject", item->subject()},
                                       {"date", listDate(*item)}});
        } else {
            out() << item->id() << '\t' << kindName(item->kind()) << '\t' << oneLine(item->title()) << '\t'
                  << oneLine(item->subject()) << '\t' << listDate(*item) << '\n';
        }
    }
    if (json)
        out() << QJsonDocument(records).toJson();
    return 0;
}

int showItem(const PstItem& item, uint64_t id, bool json)
{
    QStringList attachments;
    for (const auto& attachment : item.attachments())
        attachments << attachment->name;
    const PstItemBody body = item.loadBody();
    if (json) {
        QJsonObject fields;
        for (auto it = item.fields().cbegin(); it != item.fields().cend(); ++it)
            fields.insert(it.key(), fieldValue(it.value()));
        out() << QJsonDocument(QJsonObject{{"id", QString::number(id)},
                                           {"kind", kindName(item.kind())},
                                           {"title", item.title()},
                                           {"subject", item.subject()},
                                           {"fields", fields},
                                           {"body", body.plain},
                                           {"html", body.html},
                                           {"attachments", QJsonArray::fromStringList(attachments)}})
                     .toJson();
        return 0;
    }
    out() << "id: " << id << "\nkind: " << kindName(item.kind()) << "\ntitle: " << item.title()
          << "\nsubject: " << item.subject() << '\n';
    for (auto it = item.fields().cbegin(); it != item.fields().cend(); ++it)
        out() << it.key() << ": " << fieldValue(it.value()) << '\n';
    if (!body.plain.isEmpty())
        out() << "body: " << body.plain << '\n';
    if (!body.html.isEmpty())
        out() << "html: " << body.html << '\n';
    for (const QString& name : attachments)
        out() << "attachment: " << name << '\n';
    return 0;
}

// Everything the viewer reads of one record: its texts, its body as shown
// and searched, every attachment's bytes, and the record parsed again by id
// as search results are.
void readAsShown(const PstFileHandle& handle, PstItem& item)
{
    const PstItemBody body = item.loadBody();
    item.searchText();
    item.infoSections(body);
    item.fieldTextFresh(PstSearchField::Body);
    if (item.kind() == PstItemKind::Mail)
        static_cast<PstMailItem&>(item).displayHtml(body);
    for (const auto& attachment : item.attachments())
        item.loadAttachmentData(*attachment);
    if (item.descriptor())
        loadItemById(handle, item.descriptor()->d_id);
}

struct CheckTotals {
    int folders = 0;
    int items = 0;
    int damaged = 0;
};

void checkFolder(const PstFileHandle& handle, const PstFolderItemPtr& folder, const QString& path,
                 CheckTotals& totals, QJsonArray& damagedFolders)
{
    folder->loadChildren();
    ++totals.folders;
    for (const std::shared_ptr<PstItem>& item : folder->items()) {
        readAsShown(handle, *item);
        ++totals.items;
    }
    if (folder->damagedCount() > 0) {
        totals.damaged += folder->damagedCount();
        damagedFolders.append(QJsonObject{{"folder", path}, {"id", QString::number(folder->id())},
                                          {"damaged", folder->damagedCount()}});
    }
    for (const PstFolderItemPtr& sub : folder->subfolders())
        checkFolder(handle, sub, path.isEmpty() ? sub->name() : path + QLatin1Char('/') + sub->name(), totals,
                    damagedFolders);
}

int checkFile(const PstFileHandle& handle, const PstFolderItemPtr& fileNode, bool json)
{
    CheckTotals totals;
    QJsonArray damagedFolders;
    checkFolder(handle, fileNode, QString(), totals, damagedFolders);
    if (json) {
        out() << QJsonDocument(QJsonObject{{"folders", totals.folders},
                                           {"items", totals.items},
                                           {"damaged", totals.damaged},
                                           {"damagedFolders", damagedFolders}})
                     .toJson();
        return 0;
    }
    for (const QJsonValue& v : damagedFolders) {
        const QJsonObject o = v.toObject();
        out() << oneLine(o["folder"].toString()) << " #" << o["id"].toString() << ": "
              << damagedLine(o["damaged"].toInt()) << '\n';
    }
    out() << totals.folders << " folders, " << totals.items << " items, "
          << damagedLine(totals.damaged) << '\n';
    return 0;
}

int openFailed(const PstDocument& document, bool json)
{
    const QString step = PstDocument::failureText(document.failure());
    if (json)
        out() << QJsonDocument(QJsonObject{{"error", "Error opening file."}, {"step", step}}).toJson();
    err() << "Error opening file.\n" << "Failed step: " << step << '\n';
    return 1;
}

// ------------------------------------------------------------ index, search

// One file of a search or index command: its handle and its folders.
struct OpenFile {
    PstSearchDocument document;
    PstFolderItemPtr folders;  // the file node of a walk over folders (items not kept)
    bool indexUsable = false;
};

// Opens path and makes sure its search index is current: a missing or stale
// one is built (with a progress line on a terminal). False when the file
// does not open; the failure is printed.
bool openForSearch(const QString& path, bool json, OpenFile& file)
{
    PstDocument document;
    if (!document.open(path)) {
        openFailed(document, json);
        return false;
    }
    file.document = {path, document.handle()};
    const bool terminal = isatty(STDERR_FILENO);
    PstSearchLoad load;
    load.keepItems = false;
    bool building = false;
    load.announce = [&](bool usable) { building = !usable; };
    if (terminal) {
        load.progress = [&](int done, int total) {
            err() << "\rBuilding index of " << path << ": " << done << '/' << total << " folders" << Qt::flush;
        };
    }
    PstSearchLoadResult loaded = pstLoadForSearch(file.document, load);
    if (terminal && building)
        err() << '\n' << Qt::flush;
    file.folders = loaded.forest.root;
    file.indexUsable = loaded.indexUsable;
    if (!file.folders) {
        openFailed(document, json);
        return false;
    }
    return true;
}

// Folder names as 'tree' prints them (#id for a folder not found).
QString folderPathText(const PstFolderItemPtr& fileNode, const QList<qint64>& ids)
{
    QStringList names;
    PstFolderItemPtr folder = fileNode;
    for (qint64 id : ids) {
        folder = folder ? folder->subfolderById(quint64(id)) : PstFolderItemPtr();
        names << (folder ? folder->name() : QStringLiteral("#%1").arg(id));
    }
    return names.join(QLatin1Char('/'));
}

PstFolderItemPtr findFolderByIds(PstFolderItemPtr folder, const QList<qint64>& ids)
{
    for (qint64 id : ids) {
        if (!folder)
            break;
        folder = folder->subfolderById(quint64(id));
    }
    return folder;
}

void collectItems(const PstFolderItemPtr& folder, QList<std::shared_ptr<PstItem>>& items)
{
    if (!folder)
        return;
    items << folder->items();
    for (const PstFolderItemPtr& sub : folder->subfolders())
        collectItems(sub, items);
}

bool parseField(const QString& text, PstSearchField& field)
{
    static const QStringList names = {QStringLiteral("any"),       QStringLiteral("subject"), QStringLiteral("from"),
                                      QStringLiteral("recipient"), QStringLiteral("body"),    QStringLiteral("attachment")};
    const qsizetype i = names.indexOf(text.toLower());
    if (i < 0)
        return false;
    field = PstSearchField(i);
    return true;
}

int indexFiles(const QStringList& paths)
{
    int status = 0;
    for (const QString& path : paths) {
        OpenFile file;
        if (!openForSearch(path, false, file)) {
            status = 1;
            continue;
        }
        if (!file.indexUsable) {
            err() << "Cannot write the search index of " << path << '\n';
            status = 1;
            continue;
        }
        out() << path << '\t' << "index ready" << '\n';
    }
    return status;
}

struct SearchOptions {
    PstSearchField field = PstSearchField::Any;
    QString folder;
    bool scoped = false;
    QStringList files;
    QString query;
};

// Runs one search over files (all of them, or the one whose folder scopes
// it) and appends its rows.
void searchFiles(const QList<OpenFile>& files, const SearchOptions& options, const QList<qint64>& scopeFolder,
                 QJsonArray& json, bool asJson)
{
    PstSearchRequest request;
    request.query = options.query;
    request.field = options.field;
    request.cache = std::make_shared<PstSearchRecordCache>();
    QHash<QString, PstFolderItemPtr> fileNodes;
    for (const OpenFile& file : files) {
        request.requestedFiles << file.document.path;
        request.openFiles << file.document;
        fileNodes.insert(file.document.path, file.folders);
        if (!file.indexUsable) {
            // No index could be written: the search asks the items of the
            // scope themselves.
            const PstDetachedForest forest = pstBuildForest(file.document.path, file.document.handle);
            fileNodes.insert(file.document.path, forest.root);
            collectItems(forest.root ? findFolderByIds(forest.root, scopeFolder) : PstFolderItemPtr(),
                         request.scopeItems);
        }
    }
    if (options.scoped) {
        request.scopeFile = files.first().document.path;
        request.scopeFolderPath = scopeFolder;
    }
    const PstSearchResponse response = runSearch(request);
    for (const PstSearchResult& row : response.rows) {
        QString filePath = row.filePath;
        QList<qint64> folderIds = row.record.folderPath;
        qint64 id = row.record.itemId;
        int kind = row.record.kind;
        if (row.item) {
            const auto folder = std::dynamic_pointer_cast<PstFolderItem>(row.item->parent());
            const PstFolderItemPtr file = folder ? folder->fileNode() : PstFolderItemPtr();
            filePath = file ? file->filePath() : QString();
            for (uint64_t folderId : folder ? folder->idPath() : QList<uint64_t>())
                folderIds << qint64(folderId);
            id = qint64(row.item->id());
            kind = int(row.item->kind());
        }
        QStringList matched;
        for (int f : row.matchedFields)
            matched << searchFieldName(f);
        const QString snippet = row.matchedFields.contains(int(PstSearchField::Body))
            ? searchSnippet(row.fieldText(PstSearchField::Body), response.terms, 40)
            : QString();
        const QString folder = folderPathText(fileNodes.value(filePath), folderIds);
        if (asJson) {
            json.append(QJsonObject{{"file", filePath},
                                    {"folder", folder},
                                    {"id", QString::number(id)},
                                    {"kind", kindName(PstItemKind(kind))},
                                    {"title", row.title()},
                                    {"date", row.dateText()},
                                    {"matched", QJsonArray::fromStringList(matched)},
                                    {"snippet", snippet}});
        } else {
            out() << filePath << '\t' << oneLine(folder) << '\t' << kindName(PstItemKind(kind)) << '\t'
                  << oneLine(row.title()) << '\t' << oneLine(row.dateText()) << '\t' << matched.join(QLatin1Char(','))
                  << '\t' << oneLine(snippet) << '\n';
        }
    }
}

int search(const SearchOptions& options, bool json)
{
    QList<OpenFile> files;
    for (const QString& path : options.files) {
        OpenFile file;
        if (!openForSearch(path, json, file))
            return 1;
        files.append(file);
    }
    QJsonArray rows;
    if (!options.scoped) {
        searchFiles(files, options, {}, rows, json);
    } else {
        // A folder scopes one file at a time: each file searches its own.
        for (const OpenFile& file : files) {
            const QList<PstFolderItemPtr> way = findFolder(file.folders, options.folder);
            const PstFolderItemPtr folder = way.isEmpty() ? PstFolderItemPtr() : way.last();
            if (!folder) {
                err() << "Folder not found: " << options.folder << " in " << file.document.path << '\n';
                return 1;
            }
            QList<qint64> ids;
            for (uint64_t id : folder->idPath())
                ids << qint64(id);
            searchFiles({file}, options, ids, rows, json);
        }
    }
    if (json)
        out() << QJsonDocument(rows).toJson();
    return 0;
}

// search [--field FIELD] [--folder FOLDER] FILE... -- QUERY
bool parseSearch(QStringList args, SearchOptions& options)
{
    const qsizetype dashes = args.indexOf(QStringLiteral("--"));
    if (dashes < 0)
        return false;
    options.query = args.mid(dashes + 1).join(QLatin1Char(' ')).trimmed();
    args = args.first(dashes);
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (args.isEmpty())
            return false;
        const QString value = args.takeFirst();
        if (option == QLatin1String("--field")) {
            if (!parseField(value, options.field))
                return false;
        } else if (option == QLatin1String("--folder")) {
            options.folder = value;
            options.scoped = true;
        } else {
            return false;
        }
    }
    options.files = args;
    return !options.files.isEmpty() && !options.query.isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    // The same names as the program, so both use one settings store.
    QCoreApplication::setOrganizationName(QString::fromLatin1(ProductProfile::kOrganizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(ProductProfile::kApplicationName));
    QStringList args = app.arguments().mid(1);
    if (args == QStringList{QStringLiteral("--help")} || args == QStringList{QStringLiteral("-h")}) {
        out() << kUsage << '\n' << kConvertHelp;
        return 0;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        out() << "marrowin-cli " << ProductProfile::kVersion << '\n';
        return 0;
    }
    ConvertOptions convert;
    const bool converting = !args.isEmpty() && args.first() == QLatin1String("convert");
    if (converting) {
        QString error;
        if (!parseConvertArguments(args.mid(1), &convert, &error)) {
            err() << "marrowin-cli convert: " << error << '\n';
            return usage();
        }
        if (convert.help) {
            out() << kConvertHelp;
            return 0;
        }
        // A file size limit fails the file being written (the log's too)
        // instead of ending the program.
        std::signal(SIGXFSZ, SIG_IGN);
        args = {QStringLiteral("convert"), convert.file, convert.folder};
    }
    // --json anywhere before a search's query (which is the user's text).
    const qsizetype dashes = converting ? -1 : args.indexOf(QStringLiteral("--"));
    QStringList head = dashes < 0 ? args : args.first(dashes);
    const bool json = head.removeAll(QStringLiteral("--json")) > 0;
    args = dashes < 0 ? head : head + args.mid(dashes);
    if (args.isEmpty())
        return usage();
    const QString command = args.takeFirst();
    SearchOptions searchOptions;
    if (command == QLatin1String("search")) {
        if (!parseSearch(args, searchOptions))
            return usage();
    } else if (command == QLatin1String("index")) {
        if (args.isEmpty() || json)
            return usage();
    } else {
        const int wanted = command == QLatin1String("tree") || command == QLatin1String("check") ? 1
            : (command == QLatin1String("items") || command == QLatin1String("show") || converting) ? 2
                                                                                                    : -1;
        if (wanted < 0 || args.size() != wanted)
            return usage();
    }
    uint64_t id = 0;
    if (command == QLatin1String("show") && !parseId(args.at(1), id))
        return usage();

    ProductProfile::makeDirectories();
    Corbelin::ILogConfig::InitializeLogConfig(ProductProfile::logDirectory().toStdString());
    // Qt's own messages (the records' debug lines among them) go to the log,
    // in the host's line form, not onto the terminal.
    HostLog::installMessageHandler();

    if (command == QLatin1String("search"))
        return search(searchOptions, json);
    if (command == QLatin1String("index"))
        return indexFiles(args);

    const QString path = args.at(0);
    PstDocument document;
    PstFolderItemPtr fileNode;
    if (document.open(path))
        fileNode = document.parse(path);
    if (!fileNode)
        return openFailed(document, json);

    if (converting) {
        PstFolderItemPtr root = fileNode;
        QList<PstFolderItemPtr> way;  // keeps the folders above root alive
        if (!convert.folder.isEmpty()) {
            way = findFolder(fileNode, convert.folder);
            if (way.isEmpty()) {
                err() << "Folder not found: " << convert.folder << '\n';
                return 1;
            }
            root = way.last();
        }
        err().flush();
        return runConvert(root, convert);
    }
    if (command == QLatin1String("tree")) {
        PstForestWalk foldersOnly;
        foldersOnly.foldersOnly = true;
        const PstFolderItemPtr folders = pstBuildForest(path, document.handle(), foldersOnly).root;
        if (json)
            out() << QJsonDocument(treeJson(folders)).toJson();
        else
            printTree(folders, 0);
        return 0;
    }
    if (command == QLatin1String("check"))
        return checkFile(document.handle(), fileNode, json);
    if (command == QLatin1String("items")) {
        const QList<PstFolderItemPtr> path = findFolder(fileNode, args.at(1));
        if (path.isEmpty()) {
            err() << "Folder not found: " << args.at(1) << '\n';
            return 1;
        }
        return listItems(path.last(), json);
    }
    const std::shared_ptr<PstItem> item = loadItemById(document.handle(), id);
    if (!item) {
        err() << "Item not found: " << args.at(1) << '\n';
        return 1;
    }
    return showItem(*item, id, json);
}
