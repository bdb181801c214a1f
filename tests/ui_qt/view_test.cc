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
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "support/expdados_world.h"
#include "ui/qt/expdados_view.h"
#include "ui/qt/qt_busy.h"
#include "ui/qt/qt_dialogs.h"

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
  QtScreen() : services{*world.db, world.server, dialogs, *world.files, world.registry, world.busy,
                        world.installAide, {}},
               screen(services) {
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
      QCOMPARE(s.screen.ActiveControl()->Name(), order[i]->Name());
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
};

}  // namespace kve::testing

QTEST_MAIN(kve::testing::ViewTest)
#include "view_test.moc"
