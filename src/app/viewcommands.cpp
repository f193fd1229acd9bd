#include "app/viewcommands.h"

#include "app/mainsettings.h"
#include "app/mainwindow.h"
#include "capture/listener.h"
#include "settings/decodersettings.h"
#include "view/findbar.h"
#include "view/hexview.h"
#include "view/reportview.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <functional>

namespace qb {

namespace {
QAction *command(QMenu *menu, const char *name, const QString &caption, const QList<QKeySequence> &keys)
{
    auto *action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    return action;
}

// "Encoding" and the stored key with its first letter capitalized and its
// dashes dropped, then "1": "EncodingWindows12521", "EncodingUtf81".
QString encodingObjectName(Encoding e)
{
    QString key = QString::fromLatin1(encodingKey(e)).remove(u'-');
    key[0] = key[0].toUpper();
    return QStringLiteral("Encoding") + key + u'1';
}

QString languageObjectName(Language l)
{
    switch (l) {
    case Language::Text: return QStringLiteral("LanguageText1");
    case Language::Auto: return QStringLiteral("LanguageAuto1");
    case Language::EscPos: return QStringLiteral("LanguageEscPos1");
    case Language::Pcl: return QStringLiteral("LanguagePcl1");
    }
    return {};
}

// A submenu of exclusive choices, the current one checked; chosen(value)
// runs when the user picks one that is not checked already.
template <class E, std::size_t N, class Label, class Name, class Chosen>
QMenu *choiceMenu(QMenu *parent, const char *name, const QString &caption, const std::array<E, N> &values,
                  E current, Label label, Name objectName, Chosen chosen)
{
    QMenu *menu = parent->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    auto *group = new QActionGroup(menu);
    group->setExclusive(true);
    for (const E value : values) {
        QAction *a = menu->addAction(QString::fromUtf8(label(value)));
        a->setObjectName(objectName(value));
        a->setCheckable(true);
        a->setChecked(value == current);
        group->addAction(a);
        QObject::connect(a, &QAction::triggered, menu, [value, chosen] { chosen(value); });
    }
    return menu;
}
} // namespace

ViewCommands::ViewCommands(TForm1 *form, QMenu *edit, QMenu *view)
    : QObject(form)
    , m_form(form)
{
    setObjectName(QStringLiteral("ViewCommands"));
    ReportView *m1 = form->m1;
    FindBar *bar = form->FindBar1;

    edit->addSeparator()->setObjectName(QStringLiteral("N3"));
    const FindActions find = addFindActions(edit, bar, m1, form);
    Find1 = find.find;
    FindNext1 = find.next;
    FindPrevious1 = find.previous;
    GotoLine1 = find.goToLine;

    view->addSeparator()->setObjectName(QStringLiteral("N4"));
    ZoomIn1 = command(view, "ZoomIn1", QStringLiteral("Zoom &In"),
                      {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    ZoomOut1 = command(view, "ZoomOut1", QStringLiteral("Zoom &Out"), {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    ZoomReset1 = command(view, "ZoomReset1", QStringLiteral("&Normal Size"), {QKeySequence(Qt::CTRL | Qt::Key_0)});
    connect(ZoomIn1, &QAction::triggered, m1, &ReportView::zoomIn);
    connect(ZoomOut1, &QAction::triggered, m1, &ReportView::zoomOut);
    connect(ZoomReset1, &QAction::triggered, m1, [m1] { m1->setZoom(100); });
    m1->setZoom(readZoom(form->settingsFile()));
    connect(m1, &ReportView::zoomChanged, this,
            [this](int percent) { m_form->guarded([&] { writeZoom(m_form->settings(), percent); }); });

    addDecodingMenus(view);

    view->addSeparator()->setObjectName(QStringLiteral("N5"));
    ShowRawBytes1 = command(view, "ShowRawBytes1", QStringLiteral("Show &Raw Bytes"), {});
    ShowRawBytes1->setCheckable(true);
    HexView *hex = form->HexView1;
    bar->setRawView(hex);
    connect(m1, &ReportView::reportChanged, hex, [m1, hex] { hex->setReport(m1->reportHandle()); });
    hex->setReport(m1->reportHandle());
    ShowRawBytes1->setChecked(readRawView(form->settingsFile()));
    showRawBytes(ShowRawBytes1->isChecked());
    connect(ShowRawBytes1, &QAction::toggled, this, [this](bool on) {
        showRawBytes(on);
        m_form->guarded([&] { writeRawView(m_form->settings(), on); });
    });

    // The context menu offers the window's own actions, so it enables them
    // exactly as the menus do.
    ContextMenu1 = new QMenu(form);
    ContextMenu1->setObjectName(QStringLiteral("ContextMenu1"));
    ContextMenu1->addAction(form->Copy1);
    ContextMenu1->addAction(form->SelectAll1);
    ContextMenu1->addSeparator();
    ContextMenu1->addAction(Find1);
    ContextMenu1->addSeparator();
    ContextMenu1->addAction(form->SaveAs1);
    ContextMenu1->addAction(form->Print1);
    for (QAbstractScrollArea *area : {static_cast<QAbstractScrollArea *>(m1), static_cast<QAbstractScrollArea *>(hex)}) {
        area->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(area, &QWidget::customContextMenuRequested, this,
                [this, area](QPoint at) { ContextMenu1->popup(area->viewport()->mapToGlobal(at)); });
    }
}

namespace {
// What picking value for one field of the decoding does: nothing when it is
// the listener's already; otherwise it is stored at once (a failure to store
// is shown, the choice holds all the same) and the listener decodes its next
// connection so.
template <class E>
std::function<void(E)> pickDecoding(TForm1 *form, E DecoderSettings::*field, void (*store)(ProfileFile &, E))
{
    return [form, field, store](E value) {
        DecoderSettings chosen = form->Server->decoderSettings();
        if (chosen.*field == value)
            return;
        chosen.*field = value;
        form->guarded([&] { store(form->settings(), value); });
        form->Server->setDecoderSettings(chosen);
    };
}
} // namespace

void ViewCommands::addDecodingMenus(QMenu *view)
{
    view->addSeparator()->setObjectName(QStringLiteral("N6"));
    const DecoderSettings stored = readDecoderSettings(m_form->settingsFile());
    m_form->Server->setDecoderSettings(stored);
    PrinterLanguage1 = choiceMenu(view, "PrinterLanguage1", QStringLiteral("Printer &Language"), kLanguages,
                                  stored.language, languageLabel, languageObjectName,
                                  pickDecoding(m_form, &DecoderSettings::language, writeLanguage));
    CharacterSet1 = choiceMenu(view, "CharacterSet1", QStringLiteral("&Character Set"), kEncodings, stored.encoding,
                               encodingLabel, encodingObjectName,
                               pickDecoding(m_form, &DecoderSettings::encoding, writeEncoding));
}

void ViewCommands::showRawBytes(bool on)
{
    m_form->Server->setKeepRaw(on);
    m_form->HexView1->setPalette(m_form->m1->palette());
    m_form->HexView1->setVisible(on);
    m_form->m1->setVisible(!on);
    (on ? static_cast<QWidget *>(m_form->HexView1) : m_form->m1)->setFocus();
}

} // namespace qb
