// The Qt view driven as an operator drives it: real widgets, real message boxes and pick
// lists, on the screen model over the test world's database and server double.

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "support/expdados_world.h"
#include "ui/qt/expdados_view.h"
#include "ui/qt/qt_busy.h"
#include "ui/qt/qt_dialogs.h"
#include "ui/qt/qt_export_thread.h"
#include "params/expdados_messages.h"
#include "screen/form_run_view.h"

namespace kve::testing {
namespace {

// Answers the modal dialogs that open while it lives: a message box is read and closed with
// its escape button; a pick list chooses `pickRow`.
class ModalAnswerer {
 public:
  explicit ModalAnswerer(int pickRow = 0) : pickRow_(pickRow) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(5);
  }
  QStringList texts;  // message texts, then pick-list titles, in order shown

 private:
  void Answer() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      texts << box->text();
      box->escapeButton()->click();
    } else if (w->objectName() == qt::QtDialogs::kPickListName) {
      texts << w->windowTitle();
      w->findChild<QTableWidget*>()->selectRow(pickRow_);
      static_cast<QDialog*>(w)->accept();
    }
  }
  int pickRow_;
  QTimer timer_;
};

// The open screen of central 0001 with the Qt dialogs in place of the scripted ones.
struct QtScreen {
  // `exportEnded`: the host's step after each export, as the host sets it before the view.
  explicit QtScreen(std::function<void(TfrmExpDados&, const ExportEnd&)> exportEnded = {})
      : services{*world.db, world.server, dialogs, *world.files, world.registry, world.busy,
                 world.installAide, {}},
        screen(services) {
    services.exportEnded = std::move(exportEnded);
    screen.FormCreate();
    view = std::make_unique<qt::ExpDadosView>(screen);
    view->show();
    Activate();
  }
  void Activate() { QApplication::setActiveWindow(view.get()); }
  ~QtScreen() { view.reset(); }
  template <typename W = QWidget>
  W* Widget(const TControl& c) {
    return qobject_cast<W*>(view->WidgetOf(c));
  }
  QString Text(const TControl& c) { return Widget<QLineEdit>(c)->text(); }

  ExpDadosWorld world;
  qt::QtDialogs dialogs;
  ExpDadosServices services;
  TfrmExpDados screen;
  std::unique_ptr<qt::ExpDadosView> view;
};

}  // namespace

class ViewTest : public QObject {
  Q_OBJECT

 private slots:
  // What the view draws against the model: every control has its widget, showing the model's
  // caption and enabled state, laid out inside a form that fits a 1024x768 desktop.
  void DrawsEveryControlAsTheModelHasIt() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowExposed(s.view.get()));
    QStringList unbound;
    for (const std::string& n : s.view->UnboundControls()) unbound << QString::fromStdString(n);
    QCOMPARE(unbound, QStringList());
    const QSize size = s.view->sizeHint();
    QVERIFY2(size.width() <= 1000 && size.height() <= 680, qPrintable(QString("%1x%2").arg(size.width()).arg(size.height())));
    s.view->resize(size);
    QApplication::processEvents();
    int captions = 0;
    std::vector<const TControl*> controls;
    std::function<void(const TContainer&)> walk = [&](const TContainer& box) {
      for (const TControl* c : box.Controls()) {
        controls.push_back(c);
        if (auto* inner = dynamic_cast<const TContainer*>(c)) walk(*inner);
      }
    };
    walk(s.screen);
    for (const TControl* c : controls) {
      QWidget* w = s.view->WidgetOf(*c);
      const QString name = QString::fromStdString(c->Name());
      QVERIFY2(w, qPrintable(name));
      QCOMPARE(w->isEnabled(), c->Enabled());
      QCOMPARE(w->toolTip(), QString::fromStdString(c->Hint()));
      QString shown;
      if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
      if (auto* g = qobject_cast<QGroupBox*>(w)) shown = g->title();
      if (auto* b = qobject_cast<QAbstractButton*>(w); b && !qobject_cast<QToolButton*>(w)) shown = b->text();
      if (!c->Caption().empty()) {
        QCOMPARE(shown, QString::fromStdString(c->Caption()));
        ++captions;
      }
      if (auto* e = dynamic_cast<const TCustomEdit*>(c)) {
        QCOMPARE(qobject_cast<QLineEdit*>(w)->text(), QString::fromStdString(e->Text()));
      }
      // Drawn, with room for what it shows, inside the form.
      const QRect r(w->mapTo(s.view.get(), QPoint(0, 0)), w->size());
      QVERIFY2(w->isVisible() && r.width() >= 8 && r.height() >= 8, qPrintable(name));
      QVERIFY2(s.view->rect().contains(r), qPrintable(name));
      if (auto* l = qobject_cast<QLabel*>(w)) QVERIFY2(r.width() >= l->sizeHint().width(), qPrintable(name));
    }
    QVERIFY(captions >= 25);  // labels, groups, radio buttons and check boxes of the screen
    QCOMPARE(s.Text(s.screen.medCdFilial), QString("0001"));
    QCOMPARE(s.Text(s.screen.edtNmFilial), QString("CENTRAL NORTE"));
    const QImage picture = s.view->grab().toImage();
    QCOMPARE(picture.size(), s.view->size());
  }

  // Tab moves through the model's keyboard order, and Qt's focus follows the model's.
  void TabFollowsTheModelsKeyboardOrder() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    std::vector<TControl*> order = s.screen.TabList();
    QVERIFY(order.size() >= 10);
    QCOMPARE(order.front(), static_cast<TControl*>(&s.screen.rbtPalm));
    for (size_t i = 1; i < order.size(); ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QString::fromStdString(s.screen.ActiveControl()->Name()), QString::fromStdString(order[i]->Name()));
      QCOMPARE(QApplication::focusWidget(), s.view->WidgetOf(*order[i]));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(s.screen.ActiveControl(), order[order.size() - 2]);
  }

  void TypingACodeAndTabbingOutShowsItsName() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QLineEdit* code = s.Widget<QLineEdit>(s.screen.medCdNutricio);
    QTest::mouseClick(code, Qt::LeftButton);
    QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.medCdNutricio));
    QTest::keyClicks(code, "1x0");  // the mask takes digits only
    QCOMPARE(code->text(), QString("10"));
    QTest::keyClick(code, Qt::Key_Tab);
    QCOMPARE(code->text(), QString("000000000010"));
    QCOMPARE(s.Text(s.screen.edtNmNutricio), QString("MARIA NUTRI"));
    QVERIFY(QApplication::focusWidget() != code);
  }

  // A code no nutritionist of the central has: the catalogue's text in a message box, and the
  // focus back on the code, in the model and on the screen.
  void AFailedCheckShowsTheCatalogueTextAndKeepsTheFocus() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QLineEdit* code = s.Widget<QLineEdit>(s.screen.medCdNutricio);
    QTest::mouseClick(code, Qt::LeftButton);
    QTest::keyClicks(code, "30");  // a nutritionist of the other central
    {
      ModalAnswerer answerer;
      QTest::keyClick(code, Qt::Key_Tab);
      QCOMPARE(answerer.texts, QStringList{"Nutricionista não cadastrado."});
    }
    QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.medCdNutricio));
    QCOMPARE(s.view->focusWidget(), static_cast<QWidget*>(code));
    QCOMPARE(code->text(), QString("000000000030"));
    QCOMPARE(s.Text(s.screen.edtNmNutricio), QString());
    s.Activate();  // the window the message box left
    // Clicking another field does not get past the check either.
    {
      ModalAnswerer answerer;
      QTest::mouseClick(s.Widget(s.screen.medAgrupProd), Qt::LeftButton);
      QCOMPARE(answerer.texts, QStringList{"Nutricionista não cadastrado."});
    }
    QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.medCdNutricio));
    s.Activate();
    // The refused code is selected: the next code typed replaces it, though the field is full.
    QCOMPARE(code->selectedText(), QString("000000000030"));
    QTest::keyClicks(code, "2");
    QCOMPARE(code->text(), QString("2"));
    QTest::keyClicks(code, "0");  // nutritionist 20, whom the central has
    {
      ModalAnswerer answerer;
      QTest::mouseClick(s.Widget(s.screen.medAgrupProd), Qt::LeftButton);
      QCOMPARE(answerer.texts, QStringList());
    }
    QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.medAgrupProd));
    QCOMPARE(s.Text(s.screen.edtNmNutricio), QString("JOAO NUTRI"));
  }

  // Look-up buttons open the pick list; the pick fills code and name. Clicks on radio buttons
  // go through the model, which switches the device controls.
  void LookUpAndTargetSwitchGoThroughTheModel() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    {
      ModalAnswerer answerer(1);  // the second nutritionist of the list
      QTest::mouseClick(s.Widget(s.screen.btpNutricio), Qt::LeftButton);
      QCOMPARE(answerer.texts, QStringList{"Nutricionista"});
    }
    QCOMPARE(s.Text(s.screen.medCdNutricio), QString("000000000020"));
    QCOMPARE(s.Text(s.screen.edtNmNutricio), QString("JOAO NUTRI"));
    s.Activate();  // the window the pick list left

    QTest::mouseClick(s.Widget(s.screen.rbtEPc), Qt::LeftButton);
    QVERIFY(s.screen.rbtEPc.Checked());
    QVERIFY(s.Widget<QRadioButton>(s.screen.rbtEPc)->isChecked());
    QVERIFY(!s.Widget<QRadioButton>(s.screen.rbtPalm)->isChecked());
    QVERIFY(!s.Widget(s.screen.medCdPalm)->isEnabled());
    QVERIFY(s.Widget(s.screen.medCdEPc)->isEnabled());
    // A click on a checked check box the model keeps disabled changes nothing.
    QTest::mouseClick(s.Widget(s.screen.chkAtivProd), Qt::LeftButton);
    QVERIFY(!s.Widget<QCheckBox>(s.screen.chkAtivProd)->isChecked());
    QWidget* whole = s.Widget(s.screen.chkArvProd);
    QTest::mouseClick(whole, Qt::LeftButton, {}, QPoint(8, whole->height() / 2));  // on the box
    QVERIFY(!s.screen.chkArvProd.Checked());
    QVERIFY(s.Widget(s.screen.chkAtivProd)->isEnabled());
  }

  // "Cancelar" closes the screen through its close step; the view lets go of it and asks its
  // window to close.
  void CancelClosesTheScreenAndTheViewLetsGo() {
    QtScreen s;
    QSignalSpy closing(s.view.get(), &qt::ExpDadosView::closeRequested);
    QTest::mouseClick(s.Widget(s.screen.sbtCancelar), Qt::LeftButton);
    QVERIFY(!s.screen.Showing());
    QCOMPARE(s.view->Screen(), nullptr);
    QVERIFY(closing.wait(1000));
    QTest::keyClicks(s.Widget(s.screen.medCdNutricio), "10");  // reaches no screen
    QCOMPARE(s.screen.medCdNutricio.Text(), std::string());
  }

  // The hourglass and the wait box last as long as the screen's guards do.
  void HourglassAndWaitBoxLastAsLongAsTheirGuards() {
    QWidget window;
    window.show();
    qt::QtBusyView busy(&window);
    {
      HourglassCursor hourglass(busy);
      WaitAnimation animation(busy, 6);
      QVERIFY(QApplication::overrideCursor());
      QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
      QVERIFY(busy.WaitBox() && busy.WaitBox()->isVisible());
    }
    QVERIFY(!busy.WaitBox());
    QVERIFY(!QApplication::overrideCursor());
  }

  // The calendar pop-up hands the picked day to the date edit, which shows it in its
  // valid-date colour.
  void TheCalendarFillsTheDateEdit() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    auto* button = s.view->findChild<QToolButton*>("depCardIniCalendar");
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
    QCalendarWidget* calendar = nullptr;
    QTRY_VERIFY((calendar = QApplication::activePopupWidget()
                                ? QApplication::activePopupWidget()->findChild<QCalendarWidget*>()
                                : nullptr));
    calendar->setSelectedDate(QDate(2026, 3, 2));
    emit calendar->clicked(QDate(2026, 3, 2));
    QCOMPARE(QString::fromStdString(s.screen.depCardIni.Text()), QString("02/03/2026"));
    QLineEdit* edit = s.Widget<QLineEdit>(s.screen.depCardIni);
    QCOMPARE(edit->text(), QString("02/03/2026"));
    QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.depCardIni));
  }
  // The keyboard reaches what the mouse does: Alt+E and Alt+C press the action bar's
  // buttons, F4 and Alt+Down open a code's look-up and a date's calendar.
  void TheKeyboardReachesButtonsLookUpsAndCalendars() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QCOMPARE(s.Widget<QToolButton>(s.screen.sbtImportExport)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
    QCOMPARE(s.Widget<QToolButton>(s.screen.sbtCancelar)->shortcut(), QKeySequence(Qt::ALT | Qt::Key_C));
    QLineEdit* code = s.Widget<QLineEdit>(s.screen.medCdNutricio);
    QTest::mouseClick(code, Qt::LeftButton);
    {
      ModalAnswerer answerer(1);
      QTest::keyClick(code, Qt::Key_F4);
      QCOMPARE(answerer.texts, QStringList{"Nutricionista"});
    }
    QCOMPARE(s.Text(s.screen.medCdNutricio), QString("000000000020"));
    s.Activate();
    {
      // Export pressed by its mnemonic: its checks speak (the parameters are incomplete).
      ModalAnswerer answerer;
      QTest::keyClick(s.view.get(), Qt::Key_E, Qt::AltModifier);
      QTRY_VERIFY2(!answerer.texts.isEmpty(), "Alt+E pressed nothing");  // a mnemonic clicks animated
    }
    s.Activate();
    QLineEdit* fim = s.Widget<QLineEdit>(s.screen.depCardFim);
    QTest::mouseClick(fim, Qt::LeftButton);
    QTest::keyClick(fim, Qt::Key_Down, Qt::AltModifier);
    QWidget* popup = nullptr;
    QTRY_VERIFY((popup = QApplication::activePopupWidget()) != nullptr);
    auto* calendar = popup->findChild<QCalendarWidget*>();
    QVERIFY(calendar);
    const CivilDate today = TDateTime::Now().date();
    QCOMPARE(calendar->selectedDate(), QDate(today.year, today.month, today.day));
    // Under the final date's own edit, not under the group's first field.
    const QPoint under = fim->mapToGlobal(QPoint(0, fim->height()));
    QVERIFY2((popup->pos() - under).manhattanLength() <= 8,  // a frame's width aside
             qPrintable(QString("popup at %1,%2").arg(popup->x()).arg(popup->y())));
    auto* days = calendar->findChild<QTableView*>();
    QVERIFY(days);
    QTest::keyClick(days, Qt::Key_Return);  // Enter takes the day, as a click does
    QTRY_COMPARE(s.screen.depCardFim.Text(), FormatDate(TDateTime::Now().DateOnly()));
    QSignalSpy closing(s.view.get(), &qt::ExpDadosView::closeRequested);
    QTest::keyClick(s.view.get(), Qt::Key_C, Qt::AltModifier);
    QVERIFY(closing.wait(3000));
  }

  // Select-all, Delete and Backspace act on the selection as the model keeps it, and a date
  // typed short is read in full when it is left.
  void EditingActsOnTheSelectionAndShortDatesAreCompleted() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QLineEdit* code = s.Widget<QLineEdit>(s.screen.medAgrupProd);
    QTest::mouseClick(code, Qt::LeftButton);
    const struct {
      const char* name;
      QKeySequence::StandardKey select;
      std::function<void()> then;
      std::string left;
    } cases[] = {
        {"Ctrl+A, Backspace", QKeySequence::SelectAll, [&] { QTest::keyClick(code, Qt::Key_Backspace); }, ""},
        {"Ctrl+A, Delete", QKeySequence::SelectAll, [&] { QTest::keyClick(code, Qt::Key_Delete); }, ""},
        {"Ctrl+A, typing", QKeySequence::SelectAll, [&] { QTest::keyClicks(code, "7"); }, "7"},
        // F2 (or End) edits the text as it stands: typing goes on after it.
        {"Ctrl+A, F2, Backspace", QKeySequence::SelectAll, [&] {
           QTest::keyClick(code, Qt::Key_F2);
           QTest::keyClick(code, Qt::Key_Backspace);
         }, "1"},
        {"Ctrl+A, End, typing", QKeySequence::SelectAll, [&] {
           QTest::keyClick(code, Qt::Key_End);
           QTest::keyClicks(code, "3");
         }, "123"},
    };
    for (const auto& c : cases) {
      s.screen.medAgrupProd.SetText("");
      QTest::keyClicks(code, "12");
      QTest::keySequence(code, QKeySequence(c.select));
      QVERIFY2(s.screen.medAgrupProd.Selected(), c.name);
      c.then();
      QVERIFY2(s.screen.medAgrupProd.Text() == c.left, c.name);
      QCOMPARE(code->text(), QString::fromStdString(c.left));
    }
    // Delete with nothing selected: nothing after the caret to delete.
    s.screen.medAgrupProd.SetText("");
    QTest::keyClicks(code, "12");
    QTest::keyClick(code, Qt::Key_Delete);
    QCOMPARE(s.screen.medAgrupProd.Text(), std::string("12"));
    s.screen.medAgrupProd.SetText("");

    QLineEdit* date = s.Widget<QLineEdit>(s.screen.depCardIni);
    QTest::mouseClick(date, Qt::LeftButton);
    QTest::keyClicks(date, "8/12");
    QTest::keyClick(date, Qt::Key_Tab);
    const std::string year = std::to_string(TDateTime::Now().date().year);
    QCOMPARE(s.screen.depCardIni.Text(), "08/12/" + year);
    QCOMPARE(date->text(), QString::fromStdString("08/12/" + year));
  }

  // Qt's focus moving because the window was restored, maximised or activated again is not
  // the operator leaving the field: no check runs, and Qt's focus comes back to the field.
  void WindowStateChangesDoNotLeaveTheField() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QLineEdit* code = s.Widget<QLineEdit>(s.screen.medCdNutricio);
    QTest::mouseClick(code, Qt::LeftButton);
    QTest::keyClicks(code, "30");  // would be refused on leaving
    ModalAnswerer answerer;
    for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::OtherFocusReason}) {
      s.Widget(s.screen.medAgrupProd)->setFocus(reason);
      QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(code));
      QCOMPARE(s.screen.ActiveControl(), static_cast<TControl*>(&s.screen.medCdNutricio));
    }
    s.view->showMaximized();
    s.view->showNormal();
    QTest::qWait(50);
    QCOMPARE(answerer.texts, QStringList());
    QCOMPARE(s.screen.medCdNutricio.Text(), std::string("30"));
  }

  // The branches' list opens with nothing chosen; what is chosen shows beside "Lista".
  void TheBranchListStartsEmptyAndTheChoiceIsShown() {
    QtScreen s;
    QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
    QTest::mouseClick(s.Widget(s.screen.rbtLAgreg), Qt::LeftButton);
    QVERIFY(s.screen.rbtLAgreg.Checked());
    int preselected = -1;
    QTimer peek;
    QObject::connect(&peek, &QTimer::timeout, [&] {
      QWidget* w = QApplication::activeModalWidget();
      if (!w || w->objectName() != qt::QtDialogs::kPickListName) return;
      auto* table = w->findChild<QTableWidget*>();
      preselected = static_cast<int>(table->selectionModel()->selectedRows().size());
      table->selectRow(1);  // one click in a list of many chooses that one row
      static_cast<QDialog*>(w)->accept();
    });
    peek.start(5);
    QTest::mouseClick(s.Widget(s.screen.btnAgregada), Qt::LeftButton);
    peek.stop();
    QCOMPARE(preselected, 0);
    QCOMPARE(s.screen.ListaAgreg, std::string("_0003"));
    auto* chosen = s.view->findChild<QLabel*>("kveChosenBranches");
    QVERIFY(chosen);
    QCOMPARE(chosen->text(), QString("0003"));
    s.Activate();
    QTest::mouseClick(s.Widget(s.screen.rbtTAgreg), Qt::LeftButton);
    QCOMPARE(chosen->text(), QString());
  }

  // Smaller than its form the window scrolls; it never refuses to shrink.
  void TheFormScrollsInASmallWindow() {
    QtScreen s;
    QVERIFY(s.view->minimumSizeHint().width() < 400 && s.view->minimumSizeHint().height() < 300);
    s.view->resize(400, 300);
    QApplication::processEvents();
    QCOMPARE(s.view->size(), QSize(400, 300));
    auto* scroll = s.view->findChild<QScrollArea*>("kveFormScroll");
    QVERIFY(scroll);
    QVERIFY(scroll->verticalScrollBar()->isVisible());
    QVERIFY(scroll->horizontalScrollBar()->isVisible());
  }

  // The run's calls reach the screen's view on the window's thread, in their order, steps in
  // their place; its boxes are answered there while the run waits; its error comes back.
  void TheRunRunsOffTheWindowsThreadAndShowsThroughIt() {
    struct GuiSide final : ExportRunView {
      std::vector<std::string> calls;
      bool offThread = false;
      void Note(std::string c) {
        offThread = offThread || QThread::currentThread() != qApp->thread();
        calls.push_back(std::move(c));
      }
      void Progress(int p, int m) override { Note("progress " + std::to_string(p) + "/" + std::to_string(m)); }
      void StepProgress() override {
        if (calls.empty() || !calls.back().starts_with("steps ")) calls.push_back("steps 0");
        calls.back() = "steps " + std::to_string(std::stoi(calls.back().substr(6)) + 1);
      }
      void ClearProgress() override { Note("clear"); }
      void Status(std::string_view t) override { Note("status " + std::string(t)); }
      void Refresh() override { Note("refresh"); }
      void ToFront() override { Note("front"); }
      void FocusDevice() override { Note("focus"); }
      TMessages& Messages() override { return messages; }
      Dialogs& Boxes() override { return dialogs; }
      BusyView& Busy() override { return busy; }
      qt::QtDialogs dialogs;
      qt::QtBusyView busy;
      TMessages messages{{"Q|Continua?"}, dialogs};
    } gui;
    std::thread::id runThread;
    int ticks = 0;
    QTimer ticker;  // the window's own events keep coming while the run works
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(1);
    QObject owner;
    ModalAnswerer answerer;
    int answer = 0;
    qt::RunExportOffGuiThread(owner, gui, [&](ExportRunView& v) {
      runThread = std::this_thread::get_id();
      v.Progress(0, 1000);
      for (int i = 0; i < 1000; ++i) v.StepProgress();
      v.Status("PRODUTO.pdb");
      answer = v.Messages().ShowMsg("Q", TMsgDlgType::mtConfirmation, mbYesNo, 0);
      WaitAnimation wait(v.Busy(), kExportWaitAnimation);
      std::this_thread::sleep_for(std::chrono::milliseconds(60));
      v.Progress(1, 1);
    });
    QVERIFY(runThread != std::this_thread::get_id());
    QVERIFY(!gui.offThread);
    QCOMPARE(answer, static_cast<int>(mrNo));  // the box's escape button, pressed on this thread
    QCOMPARE(answerer.texts, QStringList{"Continua?"});
    QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
    const std::vector<std::string> expected{"progress 0/1000", "steps 1000", "status PRODUTO.pdb", "progress 1/1"};
    QCOMPARE(gui.calls, expected);
    bool raised = false;
    try {
      qt::RunExportOffGuiThread(owner, gui, [](ExportRunView&) {
        throw Error("application server h:1: GetTabelas: unreachable", ErrorKind::kUnavailable);
      });
    } catch (const Error& e) {
      raised = e.kind() == ErrorKind::kUnavailable;
    }
    QVERIFY(raised);
  }

  // While the screen's export runs, and the host's step after it, the window is alive but the
  // form is theirs: Export is disabled, the operator's keys change nothing, and the window
  // refuses to close, saying why. Both run off the window's thread.
  void DuringAnExportTheWindowWaitsForIt() {
    for (const bool hostStep : {false, true}) {
      std::atomic<bool> checked{false};
      std::thread::id ranOn;
      auto work = [&] {  // until the window was tried, or a while when it cannot be (on its thread)
        ranOn = std::this_thread::get_id();
        for (int i = 0; i < 400 && !checked; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      };
      QtScreen s([&](TfrmExpDados&, const ExportEnd&) { work(); });
      QVERIFY(QTest::qWaitForWindowActive(s.view.get()));
      QVERIFY(s.services.runExport);
      QLineEdit* code = s.Widget<QLineEdit>(s.screen.medAgrupProd);
      QTest::mouseClick(code, Qt::LeftButton);
      bool exportEnabled = true, closed = true;
      QStringList told;
      QTimer::singleShot(20, [&] {
        exportEnabled = s.Widget(s.screen.sbtImportExport)->isEnabled();
        QTest::keyClicks(code, "12");
        ModalAnswerer answerer;
        closed = s.view->close();
        told = answerer.texts;
        checked = true;
      });
      FormRunView formView(s.screen);
      if (hostStep) {
        s.services.exportEnded(s.screen, ExportEnd{});
      } else {
        s.services.runExport(formView, [&](ExportRunView& v) {
          v.Status("PRODUTO.pdb");
          work();
        });
        QCOMPARE(s.screen.lblStatus.Caption(), std::string("PRODUTO.pdb"));
      }
      QVERIFY(ranOn != std::this_thread::get_id());
      QVERIFY(!exportEnabled);
      QVERIFY(!closed);
      QCOMPARE(told, QStringList{QString::fromUtf8(kMsgWaitForExport.data(), kMsgWaitForExport.size())});
      QCOMPARE(s.screen.medAgrupProd.Text(), std::string());
      QVERIFY(s.Widget(s.screen.sbtImportExport)->isEnabled());
      QVERIFY(s.view->isVisible());
    }
  }
};

}  // namespace kve::testing

QTEST_MAIN(kve::testing::ViewTest)
#include "view_test.moc"
