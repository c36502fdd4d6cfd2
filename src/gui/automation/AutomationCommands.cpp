#include "automation/AutomationCommands.h"

#include "DataModuleQuillonSuite.h"
#include "base/DateTime.h"
#include "picker/NvShellTreeViewEx.h"
#include "platform/FileOperations.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QThread>

#include <functional>
#include <limits>

namespace trovalo {

namespace {

QJsonObject Fail(const QString &message)
{
    return QJsonObject{{QStringLiteral("ok"), false}, {QStringLiteral("error"), message}};
}

QJsonObject Ok(QJsonObject reply = {})
{
    reply.insert(QStringLiteral("ok"), true);
    return reply;
}

QJsonObject RectJson(const QRect &rect)
{
    return QJsonObject{{QStringLiteral("x"), rect.x()},
                       {QStringLiteral("y"), rect.y()},
                       {QStringLiteral("width"), rect.width()},
                       {QStringLiteral("height"), rect.height()}};
}

QString ClassName(const QObject *object)
{
    return QString::fromLatin1(object->metaObject()->className());
}

bool Matches(const QObject *object, const QString &step)
{
    return object->objectName() == step || ClassName(object) == step;
}

// A visible widget first, then an action (it has no window of its own), then
// whatever matched first.
QObject *Pick(const QList<QObject *> &candidates)
{
    for (QObject *candidate : candidates) {
        if (const auto *widget = qobject_cast<QWidget *>(candidate); widget && widget->isVisible())
            return candidate;
    }
    for (QObject *candidate : candidates) {
        if (qobject_cast<QAction *>(candidate))
            return candidate;
    }
    return candidates.isEmpty() ? nullptr : candidates.constFirst();
}

QString TextIn(const QString &text, Qt::TextFormat format)
{
    if (format == Qt::PlainText || (format != Qt::RichText && !Qt::mightBeRichText(text)))
        return text;
    QString plain = QTextDocumentFragment::fromHtml(text).toPlainText();
    plain.replace(QChar::LineSeparator, QLatin1Char('\n'));
    plain.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    plain.replace(QChar::Nbsp, QLatin1Char(' '));
    return plain;
}

QJsonArray ActionsOf(const QWidget *widget)
{
    QJsonArray actions;
    for (const QAction *action : widget->actions())
        actions.append(TAutomationCommands::Describe(action));
    return actions;
}

void DescribeWidget(const QWidget *widget, QJsonObject &d)
{
    d.insert(QStringLiteral("visible"), widget->isVisible());
    d.insert(QStringLiteral("enabled"), widget->isEnabled());
    d.insert(QStringLiteral("geometry"), RectJson(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size())));
    if (widget->isWindow()) {
        d.insert(QStringLiteral("title"), widget->windowTitle());
        d.insert(QStringLiteral("modal"), widget->isModal());
        d.insert(QStringLiteral("active"), widget == QApplication::activeWindow());
    }
    if (const auto *box = qobject_cast<const QMessageBox *>(widget)) {
        d.insert(QStringLiteral("text"), TextIn(box->text(), box->textFormat()));
        d.insert(QStringLiteral("informative"), TAutomationCommands::PlainText(box->informativeText()));
        QJsonArray buttons;
        for (const QAbstractButton *button : box->buttons())
            buttons.append(TAutomationCommands::CaptionText(button->text()));
        d.insert(QStringLiteral("buttons"), buttons);
    } else if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        d.insert(QStringLiteral("text"), TextIn(label->text(), label->textFormat()));
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        d.insert(QStringLiteral("text"), TAutomationCommands::CaptionText(button->text()));
        d.insert(QStringLiteral("checkable"), button->isCheckable());
        d.insert(QStringLiteral("checked"), button->isChecked());
    } else if (const auto *edit = qobject_cast<const QLineEdit *>(widget)) {
        d.insert(QStringLiteral("text"), edit->text());
    } else if (const auto *bar = qobject_cast<const QProgressBar *>(widget)) {
        d.insert(QStringLiteral("value"), bar->value());
        d.insert(QStringLiteral("min"), bar->minimum());
        d.insert(QStringLiteral("max"), bar->maximum());
    } else if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
        d.insert(QStringLiteral("text"), combo->currentText());
    } else if (const auto *spin = qobject_cast<const QSpinBox *>(widget)) {
        d.insert(QStringLiteral("text"), spin->text());
        d.insert(QStringLiteral("value"), spin->value());
        d.insert(QStringLiteral("min"), spin->minimum());
        d.insert(QStringLiteral("max"), spin->maximum());
    } else if (const auto *group = qobject_cast<const QGroupBox *>(widget)) {
        d.insert(QStringLiteral("text"), group->title());
    } else if (const auto *tabs = qobject_cast<const QTabWidget *>(widget)) {
        QJsonArray texts;
        for (int i = 0; i < tabs->count(); ++i)
            texts.append(TAutomationCommands::CaptionText(tabs->tabText(i)));
        d.insert(QStringLiteral("tabs"), texts);
        d.insert(QStringLiteral("current"), tabs->currentIndex());
    } else if (const auto *menu = qobject_cast<const QMenu *>(widget)) {
        d.insert(QStringLiteral("text"), TAutomationCommands::CaptionText(menu->title()));
        d.insert(QStringLiteral("actions"), ActionsOf(menu));
    } else if (const auto *tree = qobject_cast<const TNvShellTreeViewEx *>(widget)) {
        d.insert(QStringLiteral("root"), tree->RootPath());
        d.insert(QStringLiteral("selectedPath"), tree->SelectedPath());
        d.insert(QStringLiteral("include"), QJsonArray::fromStringList(tree->IncludeList()));
        d.insert(QStringLiteral("exclude"), QJsonArray::fromStringList(tree->ExcludeList()));
        d.insert(QStringLiteral("counting"), tree->Counting());
        d.insert(QStringLiteral("fileSize"), tree->FileSize());
        d.insert(QStringLiteral("fileCount"), tree->FileCount());
        d.insert(QStringLiteral("folderCount"), tree->FolderCount());
    } else if (const auto *list = qobject_cast<const QListWidget *>(widget)) {
        QJsonArray items;
        for (int row = 0; row < list->count(); ++row)
            items.append(list->item(row)->text());
        d.insert(QStringLiteral("items"), items);
    }
}

template <class T>
T *Find(const QJsonObject &request, QString *error)
{
    QObject *object = TAutomationCommands::Resolve(request.value(QStringLiteral("path")).toString(), error);
    if (!object)
        return nullptr;
    auto *found = qobject_cast<T *>(object);
    if (!found)
        *error = QStringLiteral("'%1' is a %2")
                     .arg(request.value(QStringLiteral("path")).toString(), ClassName(object));
    return found;
}

// Runs action once the reply is out, unless target went in between.
void Later(QObject *target, std::function<void()> action)
{
    QMetaObject::invokeMethod(
        target,
        [guard = QPointer<QObject>(target), action = std::move(action)] {
            if (guard)
                action();
        },
        Qt::QueuedConnection);
}

// The modal window the user faces of class T, else any visible one.
template <class T>
T *ShownWindow()
{
    if (auto *modal = qobject_cast<T *>(QApplication::activeModalWidget()))
        return modal;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<T *>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

QJsonObject Windows()
{
    QJsonArray windows;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            windows.append(TAutomationCommands::Describe(widget));
    }
    return Ok({{QStringLiteral("windows"), windows}});
}

QJsonObject FindCommand(const QJsonObject &request)
{
    QString error;
    const QObject *object =
        TAutomationCommands::Resolve(request.value(QStringLiteral("path")).toString(), &error);
    return object ? Ok(TAutomationCommands::Describe(object)) : Fail(error);
}

QJsonObject Objects(const QJsonObject &request)
{
    QString error;
    const QObject *root =
        TAutomationCommands::Resolve(request.value(QStringLiteral("path")).toString(), &error);
    if (!root)
        return Fail(error);
    const QString className = request.value(QStringLiteral("class")).toString();
    QJsonArray objects;
    for (const QObject *child : root->findChildren<QObject *>()) {
        if (className.isEmpty() || ClassName(child) == className)
            objects.append(TAutomationCommands::Describe(child));
    }
    return Ok({{QStringLiteral("objects"), objects}});
}

// The cells' texts, or with "role" (a number) the cells' data of that item
// role, such as the console's schedule mark or a check box column's state.
QJsonObject Rows(const QJsonObject &request)
{
    QString error;
    const QAbstractItemView *view = Find<QAbstractItemView>(request, &error);
    if (!view)
        return Fail(error);
    const QAbstractItemModel *model = view->model();
    if (!model)
        return Ok({{QStringLiteral("headers"), QJsonArray()}, {QStringLiteral("rows"), QJsonArray()}});
    const QModelIndex root = view->rootIndex();
    const int columns = model->columnCount(root);
    const int role = request.value(QStringLiteral("role")).toInt(Qt::DisplayRole);
    QJsonArray headers;
    for (int column = 0; column < columns; ++column)
        headers.append(model->headerData(column, Qt::Horizontal).toString());
    QJsonArray rows, selected;
    for (int row = 0; row < model->rowCount(root); ++row) {
        QJsonArray cells;
        for (int column = 0; column < columns; ++column)
            cells.append(model->data(model->index(row, column, root), role).toString());
        rows.append(cells);
        if (view->selectionModel() && view->selectionModel()->isRowSelected(row, root))
            selected.append(row);
    }
    return Ok({{QStringLiteral("headers"), headers},
               {QStringLiteral("rows"), rows},
               {QStringLiteral("selected"), selected}});
}

// The row a request names by "row" (its number) or "match" (the first row
// with a cell containing that text); -1 with *error when there is none.
int RowOf(const QAbstractItemView &view, const QJsonObject &request, QString *error)
{
    const QAbstractItemModel *model = view.model();
    const int count = model ? model->rowCount(view.rootIndex()) : 0;
    if (request.contains(QStringLiteral("match"))) {
        const QString match = request.value(QStringLiteral("match")).toString();
        for (int row = 0; row < count; ++row) {
            for (int column = 0; column < model->columnCount(view.rootIndex()); ++column) {
                if (model->data(model->index(row, column, view.rootIndex())).toString().contains(match))
                    return row;
            }
        }
        *error = QStringLiteral("no row contains '%1'").arg(match);
        return -1;
    }
    const int row = request.value(QStringLiteral("row")).toInt(-1);
    if (row < 0 || row >= count) {
        *error = QStringLiteral("row %1 does not exist (%2 rows)").arg(row).arg(count);
        return -1;
    }
    return row;
}

// One row ("row" or "match"), or several ("rows": a list of row numbers,
// as a user's Ctrl-clicks give them: the first becomes the current row) in
// a view that lets the user select several. Nothing changes when any row
// named does not exist.
QJsonObject Select(const QJsonObject &request)
{
    QString error;
    QAbstractItemView *view = Find<QAbstractItemView>(request, &error);
    if (!view)
        return Fail(error);
    QList<int> rows;
    if (request.contains(QStringLiteral("rows"))) {
        const QAbstractItemView::SelectionMode mode = view->selectionMode();
        if (request.value(QStringLiteral("rows")).toArray().size() > 1 &&
            (mode == QAbstractItemView::SingleSelection || mode == QAbstractItemView::NoSelection))
            return Fail(QStringLiteral("'%1' selects one row at a time").arg(view->objectName()));
        for (const QJsonValue &value : request.value(QStringLiteral("rows")).toArray()) {
            QJsonObject one{{QStringLiteral("row"), value.toInt(-1)}};
            const int row = RowOf(*view, one, &error);
            if (row < 0)
                return Fail(error);
            rows << row;
        }
        if (rows.isEmpty())
            return Fail(QStringLiteral("no rows given"));
    } else {
        const int row = RowOf(*view, request, &error);
        if (row < 0)
            return Fail(error);
        rows << row;
    }
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = view->model()->index(row, 0, view->rootIndex());
        selection.select(index, index);
    }
    const QModelIndex first = view->model()->index(rows.constFirst(), 0, view->rootIndex());
    view->scrollTo(first);
    QItemSelectionModel *model = view->selectionModel();
    model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QJsonArray selected;
    for (int row : rows)
        selected.append(row);
    return Ok({{QStringLiteral("row"), rows.constFirst()}, {QStringLiteral("rows"), selected}});
}

void SendMouse(QWidget *target, QEvent::Type type, const QPoint &position, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(position), QPointF(target->mapToGlobal(position)), Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// A double click with the mouse, so whatever the window connected to it
// (doubleClicked, activated, its own event handler) runs as for the user.
QJsonObject Activate(const QJsonObject &request)
{
    QString error;
    QAbstractItemView *view = Find<QAbstractItemView>(request, &error);
    const int row = view ? RowOf(*view, request, &error) : -1;
    if (row < 0)
        return Fail(error);
    const QPersistentModelIndex index(view->model()->index(row, 0, view->rootIndex()));
    Later(view, [view, index] {
        if (!index.isValid())
            return;
        view->scrollTo(index);
        QWidget *viewport = view->viewport();
        const QPoint position = view->visualRect(index).center();
        SendMouse(viewport, QEvent::MouseButtonPress, position, Qt::LeftButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, position, Qt::NoButton);
        SendMouse(viewport, QEvent::MouseButtonDblClick, position, Qt::LeftButton);
        SendMouse(viewport, QEvent::MouseButtonRelease, position, Qt::NoButton);
    });
    return Ok({{QStringLiteral("row"), row}});
}

QJsonObject Click(const QJsonObject &request)
{
    QString error;
    QObject *object = TAutomationCommands::Resolve(request.value(QStringLiteral("path")).toString(), &error);
    if (!object)
        return Fail(error);
    if (auto *button = qobject_cast<QAbstractButton *>(object)) {
        // The user can press neither a hidden nor a disabled button.
        if (!button->isVisible() || !button->isEnabled())
            return Fail(QStringLiteral("'%1' is %2")
                            .arg(button->objectName(), button->isVisible() ? QStringLiteral("disabled")
                                                                           : QStringLiteral("hidden")));
        Later(button, [button] { button->click(); });
        return Ok();
    }
    if (auto *action = qobject_cast<QAction *>(object)) {
        if (!action->isEnabled())
            return Fail(QStringLiteral("'%1' is disabled").arg(action->objectName()));
        Later(action, [action] { action->trigger(); });
        return Ok();
    }
    return Fail(QStringLiteral("a %1 cannot be clicked").arg(ClassName(object)));
}

QJsonObject SetText(const QJsonObject &request)
{
    QString error;
    QLineEdit *edit = Find<QLineEdit>(request, &error);
    if (!edit)
        return Fail(error);
    edit->setText(request.value(QStringLiteral("text")).toString());
    return Ok();
}

// A control the user can change: visible and enabled.
template <class T>
T *FindChangeable(const QJsonObject &request, QString *error)
{
    T *control = Find<T>(request, error);
    if (control && (!control->isVisible() || !control->isEnabled())) {
        *error = QStringLiteral("'%1' is hidden or disabled").arg(control->objectName());
        return nullptr;
    }
    return control;
}

// The item of a combo box with that text, picked as the user picks it.
QJsonObject Choose(const QJsonObject &request)
{
    QString error;
    QComboBox *combo = FindChangeable<QComboBox>(request, &error);
    if (!combo)
        return Fail(error);
    const QString text = request.value(QStringLiteral("text")).toString();
    const int index = combo->findText(text);
    if (index < 0)
        return Fail(QStringLiteral("'%1' has no item '%2'").arg(combo->objectName(), text));
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return Ok(TAutomationCommands::Describe(combo));
}

// A spin box's value, as the user types it; a value out of its range is
// refused rather than cut.
QJsonObject SetValue(const QJsonObject &request)
{
    QString error;
    QSpinBox *spin = FindChangeable<QSpinBox>(request, &error);
    if (!spin)
        return Fail(error);
    const QJsonValue value = request.value(QStringLiteral("value"));
    // toInt gives the default for a number that is not whole.
    const int number = value.toInt(std::numeric_limits<int>::min());
    if (number < spin->minimum() || number > spin->maximum())
        return Fail(QStringLiteral("'%1' takes a whole number from %2 to %3")
                        .arg(spin->objectName())
                        .arg(spin->minimum())
                        .arg(spin->maximum()));
    spin->setValue(number);
    return Ok(TAutomationCommands::Describe(spin));
}

// A folder tree: "item" (a drive-letter path) is made current, or, with
// "check", checked or unchecked with everything below it.
QJsonObject TreePath(const QJsonObject &request)
{
    QString error;
    TNvShellTreeViewEx *tree = Find<TNvShellTreeViewEx>(request, &error);
    if (!tree)
        return Fail(error);
    if (!tree->isVisible() || !tree->isEnabled())
        return Fail(QStringLiteral("'%1' is hidden or disabled").arg(tree->objectName()));
    const QString item = request.value(QStringLiteral("item")).toString();
    if (request.contains(QStringLiteral("check"))) {
        // A click on a check box also makes its entry the current one.
        tree->SelectPath(item);
        try {
            tree->ClickFolder(item, request.value(QStringLiteral("check")).toBool());
        } catch (const EFolderNotFound &missing) {
            return Fail(missing.Message() + QStringLiteral(": ") + item);
        }
    } else if (!tree->SelectPath(item)) {
        return Fail(QStringLiteral("the tree cannot reach %1").arg(item));
    }
    return Ok(TAutomationCommands::Describe(tree));
}

QJsonObject Press(const QJsonObject &request)
{
    QMessageBox *box = ShownWindow<QMessageBox>();
    if (!box)
        return Fail(QStringLiteral("no message box is shown"));
    const QString text = request.value(QStringLiteral("text")).toString();
    for (QAbstractButton *button : box->buttons()) {
        if (TAutomationCommands::CaptionText(button->text()) == text) {
            Later(button, [button] { button->click(); });
            return Ok(TAutomationCommands::Describe(box));
        }
    }
    return Fail(QStringLiteral("the message box has no button '%1'").arg(text));
}

QJsonObject AcceptFile(const QJsonObject &request)
{
    QFileDialog *dialog = ShownWindow<QFileDialog>();
    if (!dialog)
        return Fail(QStringLiteral("no file dialog is shown"));
    const QString file = request.value(QStringLiteral("file")).toString();
    if (file.isEmpty())
        return Fail(QStringLiteral("no file given"));
    Later(dialog, [dialog, file] {
        // Typed as the user types it: a shown dialog's selectFile leaves a
        // name edit that has the focus alone.
        const QFileInfo info(file);
        dialog->setDirectory(info.absolutePath());
        if (auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            edit->setText(info.fileName());
        else
            dialog->selectFile(file);
        // Through QDialog: the dialog's own accept() checks the name as its
        // "Save" or "Open" button would.
        static_cast<QDialog *>(dialog)->accept();
    });
    return Ok({{QStringLiteral("title"), dialog->windowTitle()}});
}

QJsonObject Screenshot(const QJsonObject &request)
{
    const QString file = request.value(QStringLiteral("file")).toString();
    if (file.isEmpty())
        return Fail(QStringLiteral("no file given"));
    QPixmap picture;
    if (request.contains(QStringLiteral("path"))) {
        QString error;
        QWidget *widget = Find<QWidget>(request, &error);
        if (!widget)
            return Fail(error);
        picture = widget->grab();
    } else {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return Fail(QStringLiteral("there is no screen"));
        picture = screen->grabWindow(0);
    }
    if (picture.isNull() || !picture.save(file, "PNG"))
        return Fail(QStringLiteral("cannot write %1").arg(file));
    return Ok({{QStringLiteral("width"), picture.width()}, {QStringLiteral("height"), picture.height()}});
}

QJsonObject Tray()
{
    const TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    const QSystemTrayIcon *icon = controller ? controller->TrayIcon() : nullptr;
    return Ok({{QStringLiteral("available"), QSystemTrayIcon::isSystemTrayAvailable()},
               {QStringLiteral("icon"), icon != nullptr},
               {QStringLiteral("visible"), icon && icon->isVisible()},
               {QStringLiteral("geometry"), RectJson(icon ? icon->geometry() : QRect())},
               {QStringLiteral("fallback"), controller && controller->FallbackWindow() != nullptr}});
}

// The schedules' clock set to "at" (ISO date and time, local), running on
// from there: a test reaches a schedule's time without waiting for it.
QJsonObject Clock(const QJsonObject &request)
{
    const QDateTime at = QDateTime::fromString(request.value(QStringLiteral("at")).toString(), Qt::ISODate);
    if (!at.isValid())
        return Fail(QStringLiteral("at must be a date and time such as 2026-05-04T09:59:50"));
    TDataModuleQuillonSuite *controller = TDataModuleQuillonSuite::Instance();
    if (!controller || !controller->ScheduleRunner())
        return Fail(QStringLiteral("the program runs no schedules"));
    controller->SetScheduleClockShift(DateTimeFromQt(at) - DateTimeNow());
    return Ok();
}

// Every copy chunk waits this long, so that a job of a few megabytes runs
// for seconds: long enough to be seen running and to be cancelled.
QJsonObject Throttle(const QJsonObject &request)
{
    const int milliseconds = request.value(QStringLiteral("ms")).toInt(-1);
    if (milliseconds < 0 || milliseconds > 10000)
        return Fail(QStringLiteral("ms must be 0 to 10000"));
    if (milliseconds == 0) {
        SetCopyFaultHookForTests({});
    } else {
        SetCopyFaultHookForTests([milliseconds](const QString &, const QString &, int) {
            QThread::msleep(static_cast<unsigned long>(milliseconds));
            return 0;
        });
    }
    return Ok();
}

} // namespace

QJsonObject TAutomationCommands::Execute(const QJsonObject &request)
{
    using THandler = QJsonObject (*)(const QJsonObject &);
    static const QList<QPair<QString, THandler>> handlers = {
        {QStringLiteral("ping"),
         [](const QJsonObject &) {
             return Ok({{QStringLiteral("pid"), QCoreApplication::applicationPid()}});
         }},
        {QStringLiteral("windows"), [](const QJsonObject &) { return Windows(); }},
        {QStringLiteral("find"), FindCommand},
        {QStringLiteral("objects"), Objects},
        {QStringLiteral("rows"), Rows},
        {QStringLiteral("select"), Select},
        {QStringLiteral("activate"), Activate},
        {QStringLiteral("click"), Click},
        {QStringLiteral("settext"), SetText},
        {QStringLiteral("choose"), Choose},
        {QStringLiteral("setvalue"), SetValue},
        {QStringLiteral("treepath"), TreePath},
        {QStringLiteral("press"), Press},
        {QStringLiteral("filedialog"), AcceptFile},
        {QStringLiteral("screenshot"), Screenshot},
        {QStringLiteral("tray"), [](const QJsonObject &) { return Tray(); }},
        {QStringLiteral("throttle"), Throttle},
        {QStringLiteral("clock"), Clock},
    };
    const QString command = request.value(QStringLiteral("cmd")).toString();
    QStringList known;
    for (const auto &[name, handler] : handlers) {
        if (name == command)
            return handler(request);
        known << name;
    }
    return Fail(
        QStringLiteral("unknown command '%1' (known: %2)").arg(command, known.join(QStringLiteral(", "))));
}

QObject *TAutomationCommands::Resolve(const QString &path, QString *error)
{
    const QStringList steps = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (steps.isEmpty()) {
        *error = QStringLiteral("no path given");
        return nullptr;
    }
    QList<QObject *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (Matches(widget, steps.constFirst()))
            windows << widget;
    }
    QObject *current = Pick(windows);
    if (!current) {
        *error = QStringLiteral("no window '%1'").arg(steps.constFirst());
        return nullptr;
    }
    for (qsizetype i = 1; i < steps.size(); ++i) {
        QList<QObject *> found;
        for (QObject *child : current->findChildren<QObject *>()) {
            if (Matches(child, steps.at(i)))
                found << child;
        }
        if (found.isEmpty()) {
            *error =
                QStringLiteral("no '%1' in '%2'").arg(steps.at(i), steps.mid(0, i).join(QLatin1Char('/')));
            return nullptr;
        }
        current = Pick(found);
    }
    return current;
}

QJsonObject TAutomationCommands::Describe(const QObject *object)
{
    QJsonObject d{{QStringLiteral("class"), ClassName(object)},
                  {QStringLiteral("name"), object->objectName()}};
    if (const auto *action = qobject_cast<const QAction *>(object)) {
        d.insert(QStringLiteral("text"),
                 action->isSeparator() ? QStringLiteral("-") : CaptionText(action->text()));
        d.insert(QStringLiteral("enabled"), action->isEnabled());
        d.insert(QStringLiteral("visible"), action->isVisible());
        d.insert(QStringLiteral("checked"), action->isChecked());
        d.insert(QStringLiteral("separator"), action->isSeparator());
        d.insert(QStringLiteral("shortcut"), action->shortcut().toString(QKeySequence::PortableText));
    } else if (const auto *widget = qobject_cast<const QWidget *>(object)) {
        DescribeWidget(widget, d);
    }
    return d;
}

QString TAutomationCommands::PlainText(const QString &text)
{
    return TextIn(text, Qt::AutoText);
}

QString TAutomationCommands::CaptionText(const QString &text)
{
    QString caption;
    caption.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&'))
                caption += text.at(++i);
            continue;
        }
        caption += text.at(i);
    }
    return caption;
}

} // namespace trovalo
