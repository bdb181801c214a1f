#include "ui/qt/expdados_view.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/maker/btn_pesquisa.h"
#include "ui/qt/widgets.h"

namespace kve::qt {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

void Collect(const TContainer& box, std::vector<const TControl*>& out) {
  for (const TControl* c : box.Controls()) {
    out.push_back(c);
    if (auto* inner = dynamic_cast<const TContainer*>(c)) Collect(*inner, out);
  }
}

// Clears a flag however the scope ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = old_; }

 private:
  bool& flag_;
  bool old_;
};

}  // namespace

ExpDadosView::ExpDadosView(TfrmExpDados& screen, QWidget* parent) : QWidget(parent), screen_(&screen) {
  setObjectName(Q(screen.Name()));
  Build();
  screen.SetObserver(this);
  RefreshAll();
}

ExpDadosView::~ExpDadosView() { Detach(); }

void ExpDadosView::Detach() {
  if (screen_ && screen_->Observer() == this) screen_->SetObserver(nullptr);
  screen_ = nullptr;
}

QWidget* ExpDadosView::WidgetOf(const TControl& c) const {
  if (&c == screen_) return const_cast<ExpDadosView*>(this);
  auto it = widgets_.find(&c);
  return it == widgets_.end() ? nullptr : it->second;
}

std::vector<std::string> ExpDadosView::UnboundControls() const {
  std::vector<std::string> out;
  if (!screen_) return out;
  std::vector<const TControl*> all;
  Collect(*screen_, all);
  for (const TControl* c : all) {
    if (!widgets_.count(c)) out.push_back(c->Name());
  }
  return out;
}

void ExpDadosView::Bind(TControl& c, QWidget* w) {
  w->setObjectName(Q(c.Name()));
  widgets_[&c] = w;
}

// ---- layout ----

void ExpDadosView::Build() {
  TfrmExpDados& s = *screen_;
  const QFontMetrics fm = fontMetrics();
  auto codeWidth = [&](int chars) { return fm.horizontalAdvance(QLatin1Char('0')) * (chars + 1) + 14; };

  auto label = [&](TLabel& l, QWidget* parent) {
    auto* w = new QLabel(parent);
    Bind(l, w);
    return w;
  };
  auto edit = [&](TCustomEdit& e, QWidget* parent, int chars) {
    auto* w = new EditWidget(*this, e, parent);
    Bind(e, w);
    if (chars > 0) w->setFixedWidth(codeWidth(chars));
    return w;
  };
  auto speed = [&](TControl& b, QWidget* parent) {
    auto* w = new SpeedWidget(*this, b, parent);
    Bind(b, w);
    return w;
  };
  auto radio = [&](TRadioButton& r, QWidget* parent) {
    auto* w = new RadioWidget(*this, r, parent);
    Bind(r, w);
    return w;
  };
  auto check = [&](TCheckBox& c, QWidget* parent) {
    auto* w = new CheckWidget(*this, c, parent);
    Bind(c, w);
    return w;
  };
  auto group = [&](TGroupBox& g, QWidget* parent) {
    auto* w = new QGroupBox(parent);
    Bind(g, w);
    return w;
  };
  auto panel = [&](TPanel& p, QWidget* parent) {
    auto* w = new QFrame(parent);
    w->setFrameShape(QFrame::StyledPanel);
    Bind(p, w);
    return w;
  };
  // Code, look-up button and name in one row.
  auto codeRow = [&](QGridLayout* grid, int row, QWidget* caption, TMaskEdit& code, TControl& button,
                     TEdit& name, QWidget* parent) {
    if (caption) grid->addWidget(caption, row, 0);
    auto* line = new QHBoxLayout;
    line->setSpacing(2);
    line->addWidget(edit(code, parent, code.MaxLength()));
    line->addWidget(speed(button, parent));
    line->addWidget(edit(name, parent, 0), 1);
    grid->addLayout(line, row, 1);
  };
  auto dateRange = [&](TGroupBox& g, TLabel& li, TDateEditPlus& di, TLabel& lf, TDateEditPlus& df,
                       QWidget* parent) {
    QGroupBox* box = group(g, parent);
    auto* line = new QHBoxLayout(box);
    for (auto [l, d] : {std::pair{&li, &di}, std::pair{&lf, &df}}) {
      line->addWidget(label(*l, box));
      auto* field = new QHBoxLayout;
      field->setSpacing(0);
      field->addWidget(edit(*d, box, 10));
      auto* cal = new CalendarButton(*this, *d, box);
      extras_[d].push_back(cal);
      field->addWidget(cal);
      line->addLayout(field);
    }
    line->addStretch(1);
    return box;
  };

  auto* root = new QVBoxLayout(this);

  // Action bar of the base screen: export, cancel, screen code.
  auto* bar = new QHBoxLayout;
  for (TSpeedButton* b : {&s.sbtImportExport, &s.sbtCancelar}) {
    SpeedWidget* w = speed(*b, this);
    w->setToolButtonStyle(Qt::ToolButtonTextOnly);
    w->setMinimumWidth(90);
    bar->addWidget(w);
  }
  bar->addStretch(1);
  bar->addWidget(label(s.lblCodTela, this));
  root->addLayout(bar);

  // Central kitchen, device and nutritionist.
  QFrame* fil = panel(s.panFilial, this);
  auto* filGrid = new QGridLayout(fil);
  codeRow(filGrid, 0, label(s.lblFilial, fil), s.medCdFilial, s.btnFilial, s.edtNmFilial, fil);
  QGroupBox* dev = group(s.grbIntegracao, fil);
  auto* devGrid = new QGridLayout(dev);
  auto* radios = new QHBoxLayout;
  radios->addWidget(radio(s.rbtPalm, dev));
  radios->addWidget(radio(s.rbtEPc, dev));
  radios->addStretch(1);
  devGrid->addLayout(radios, 0, 0, 1, 2);
  codeRow(devGrid, 1, label(s.lblPalm, dev), s.medCdPalm, s.btnPalm, s.edtNmPalm, dev);
  codeRow(devGrid, 2, label(s.lblEPc, dev), s.medCdEPc, s.btnEpc, s.edtNmEPC, dev);
  filGrid->addWidget(dev, 1, 0, 1, 2);
  codeRow(filGrid, 2, label(s.lblNutricio, fil), s.medCdNutricio, s.btpNutricio, s.edtNmNutricio, fil);
  filGrid->setColumnStretch(1, 1);
  root->addWidget(fil);

  // Aggregated branches and products on the left, the three date ranges on the right.
  auto* middle = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  QGroupBox* agr = group(s.grbAgregada, this);
  auto* agrLine = new QHBoxLayout(agr);
  agrLine->addWidget(radio(s.rbtTAgreg, agr));
  agrLine->addWidget(radio(s.rbtLAgreg, agr));
  agrLine->addWidget(speed(s.btnAgregada, agr));
  agrLine->addStretch(1);
  left->addWidget(agr);
  QGroupBox* prod = group(s.grbProdutos, this);
  auto* prodGrid = new QGridLayout(prod);
  prodGrid->addWidget(check(s.chkArvProd, prod), 0, 0, 1, 3);
  prodGrid->addWidget(check(s.chkAtivProd, prod), 1, 0, 1, 3);
  prodGrid->addWidget(check(s.chkSolicProd, prod), 2, 0);
  {
    auto* spin = new QHBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(edit(s.sedSolicProd, prod, 5));
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    for (int step : {1, -1}) {
      auto* b = new QToolButton(prod);
      b->setObjectName(Q(s.sedSolicProd.Name() + (step > 0 ? "Up" : "Down")));
      b->setArrowType(step > 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setFocusPolicy(Qt::NoFocus);
      b->setFixedSize(16, 11);
      connect(b, &QToolButton::clicked, this, [this, step] {
        if (screen_) UserSpin(screen_->sedSolicProd, step);
      });
      extras_[&s.sedSolicProd].push_back(b);
      arrows->addWidget(b);
    }
    spin->addLayout(arrows);
    prodGrid->addLayout(spin, 2, 1);
  }
  prodGrid->addWidget(label(s.lblSolicProd, prod), 2, 2);
  prodGrid->setColumnStretch(2, 1);
  left->addWidget(prod);
  left->addStretch(1);
  middle->addLayout(left, 1);
  // The date groups are built in keyboard order, then placed in reading order.
  QGroupBox* card = dateRange(s.grbDataCard, s.lblCardIni, s.depCardIni, s.lblCardFim, s.depCardFim, this);
  QGroupBox* af = dateRange(s.grbDataAF, s.lblAFIni, s.depAFIni, s.lblAFFim, s.depAFFim, this);
  QGroupBox* soli = dateRange(s.grbDataSoliComp, s.lblSoliCompIni, s.depSoliCompIni, s.lblSoliCompFim,
                              s.depSoliCompFim, this);
  auto* right = new QVBoxLayout;
  right->addWidget(card);
  right->addWidget(soli);
  right->addWidget(af);
  right->addStretch(1);
  middle->addLayout(right, 1);
  root->addLayout(middle);

  QFrame* agp = panel(s.panAgrupProd, this);
  auto* agpGrid = new QGridLayout(agp);
  codeRow(agpGrid, 0, label(s.lblAgrupProd, agp), s.medAgrupProd, s.btpAgrupProd, s.edtNmAgrupProd, agp);
  agpGrid->setColumnStretch(1, 1);
  root->addWidget(agp);

  QFrame* dir = panel(s.panDiretorio, this);
  auto* dirLine = new QHBoxLayout(dir);
  dirLine->addWidget(label(s.lblDiretorio, dir));
  dirLine->addWidget(edit(s.medDiretorios, dir, 0), 1);
  root->addWidget(dir);

  auto* progress = new QProgressBar(this);
  Bind(s.pgbProgresso, progress);
  root->addWidget(progress);
  root->addWidget(label(s.lblStatus, this));

  // Qt's own focus chain follows the model's keyboard order, so that the first control Qt
  // focuses when the window activates is the model's first.
  QWidget* prev = nullptr;
  std::vector<const TControl*> all;
  Collect(s, all);
  for (const TControl* c : all) {
    QWidget* w = WidgetOf(*c);
    if (!w || w->focusPolicy() == Qt::NoFocus || dynamic_cast<const TContainer*>(c) ||
        dynamic_cast<const TLabel*>(c) || dynamic_cast<const TProgressBar*>(c)) {
      continue;
    }
    if (prev) setTabOrder(prev, w);
    prev = w;
  }
}

// ---- repainting from the model ----

void ExpDadosView::RefreshAll() {
  if (!screen_) return;
  Refresh(*screen_);
  for (auto& [c, w] : widgets_) Refresh(const_cast<TControl&>(*c));
}

void ExpDadosView::ControlChanged(TControl& control) {
  if (!screen_) return;
  if (&control == screen_) {
    if (!screen_->Showing()) {
      // The close step ran: the screen is no longer ours to touch.
      Detach();
      QMetaObject::invokeMethod(this, &ExpDadosView::closeRequested, Qt::QueuedConnection);
      return;
    }
    RefreshAll();
    update();
    return;
  }
  Refresh(control);
}

void ExpDadosView::FocusChanged(TControl* focused) {
  if (focused) Refresh(*focused);  // the selection a focused edit shows
  SyncFocus();
}

void ExpDadosView::Refresh(TControl& c) {
  FlagScope guard(syncing_);  // Qt's focus may move while widgets are disabled: not the operator
  if (&c == screen_) {
    setWindowTitle(Q(c.Caption()));
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        sub && screen_->WindowState() == TWindowState::wsNormal && sub->isMinimized()) {
      sub->showNormal();
    }
    return;
  }
  QWidget* w = WidgetOf(c);
  if (!w) return;
  w->setEnabled(c.Enabled());
  w->setHidden(!c.Visible());
  w->setToolTip(Q(c.Hint()));
  if (auto it = extras_.find(&c); it != extras_.end()) {
    for (QWidget* x : it->second) {
      x->setEnabled(c.Enabled());
      x->setHidden(!c.Visible());
    }
  }

  if (auto* e = dynamic_cast<TCustomEdit*>(&c)) {
    auto* line = static_cast<QLineEdit*>(w);
    const QString text = Q(e->Text());
    if (line->text() != text) line->setText(text);
    if (e->Selected()) {
      line->selectAll();
    } else {
      line->deselect();
      line->end(false);
    }
    QPalette pal = line->palette();
    pal.setColor(QPalette::Base, ToQColor(c.Color(), palette()));
    QColor ink = palette().color(QPalette::Text);
    if (auto* d = dynamic_cast<TDateEditPlus*>(e); d && !d->IsEmpty() && d->IsValidDate()) {
      ink = ToQColor(d->ValidDateColor(), palette());
    }
    pal.setColor(QPalette::Text, ink);
    line->setPalette(pal);
    if (auto* m = dynamic_cast<TMaskEdit*>(e); m && m->HasMask() && m->Mask().SaveLiterals()) {
      line->setPlaceholderText(Q(m->Mask().Format("", "_")));  // the picture: "__/__/____"
    }
    return;
  }
  if (auto* r = dynamic_cast<TRadioButton*>(&c)) {
    auto* b = static_cast<QAbstractButton*>(w);
    b->setText(Q(c.Caption()));
    b->setChecked(r->Checked());
    return;
  }
  if (auto* k = dynamic_cast<TCheckBox*>(&c)) {
    auto* b = static_cast<QAbstractButton*>(w);
    b->setText(Q(c.Caption()));
    b->setChecked(k->Checked());
    return;
  }
  if (auto* p = dynamic_cast<TProgressBar*>(&c)) {
    // The Palm conversion steps the bar once per record and sets a new range per database,
    // and a Qt progress bar repaints at once whenever its percentage moves: what comes in
    // between is left out, a few times a second being all an operator can read. The bar's
    // last state is shown when the event loop runs again.
    auto* bar = static_cast<QProgressBar*>(w);
    if (paintClock_.isValid() && paintClock_.elapsed() < kPaintEveryMs) {
      if (!progressPending_) {
        progressPending_ = true;
        QTimer::singleShot(0, this, [this] {
          progressPending_ = false;
          if (screen_) Refresh(screen_->pgbProgresso);
        });
      }
      return;
    }
    bar->setRange(p->Min(), p->Max());
    bar->setValue(p->Position());
    bar->repaint();
    paintClock_.start();
    return;
  }
  if (dynamic_cast<TBtnPesquisa*>(&c)) {
    static_cast<QToolButton*>(w)->setText(c.Caption().empty() ? QStringLiteral("...") : Q(c.Caption()));
    return;
  }
  if (dynamic_cast<TSpeedButton*>(&c)) {
    // A speed button shows a picture; here its caption, or its hint when it has none.
    static_cast<QToolButton*>(w)->setText(Q(c.Caption().empty() ? c.Hint() : c.Caption()));
    return;
  }
  if (auto* g = qobject_cast<QGroupBox*>(w)) {
    g->setTitle(Q(c.Caption()));
    return;
  }
  if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(Q(c.Caption()));
    if (&c == &screen_->lblStatus) PaintNow(*l);
  }
}

// The export runs on this thread and keeps the event loop waiting until it ends: its status
// line is painted as it comes, a few times a second at most.
void ExpDadosView::PaintNow(QWidget& w) {
  if (!isVisible()) return;
  if (paintClock_.isValid() && paintClock_.elapsed() < kPaintEveryMs) return;
  w.repaint();
  paintClock_.start();
}

// ---- what the operator does ----

template <typename F>
void ExpDadosView::Forward(F&& action) {
  if (!screen_) return;
  action();
  if (screen_) SyncFocus();
}

void ExpDadosView::SyncFocus() {
  if (!screen_) return;
  FlagScope guard(syncing_);
  TControl* active = screen_->ActiveControl();
  QWidget* w = active ? WidgetOf(*active) : nullptr;
  if (w) {
    if (QApplication::focusWidget() != w) w->setFocus(Qt::OtherFocusReason);
  } else if (QWidget* f = focusWidget(); f && isAncestorOf(f)) {
    f->clearFocus();
  }
}

void ExpDadosView::UserFocus(TControl& c) {
  if (syncing_ || !screen_ || screen_->ActiveControl() == &c) return;
  Forward([&] { screen_->UserFocus(c); });
  refused_ = screen_ && screen_->ActiveControl() != &c ? &c : nullptr;
}

void ExpDadosView::UserClick(TControl& c) {
  if (!screen_) return;
  // The press of this click tried to move the focus here and was refused (the field left
  // behind failed its check): the click does not happen.
  if (refused_ == &c) {
    refused_ = nullptr;
    SyncFocus();
    Refresh(c);
    return;
  }
  Forward([&] { screen_->UserClick(c); });
  if (screen_) Refresh(c);  // a click the model ignored leaves the button as the model has it
}

bool ExpDadosView::UserKey(TCustomEdit& e, const QKeyEvent& key) {
  if (!screen_) return true;
  const int k = key.key();
  const auto mods = key.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
  if (k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_Return || k == Qt::Key_Enter ||
      k == Qt::Key_Escape) {
    return false;  // the form's keys, not the edit's
  }
  if (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Home || k == Qt::Key_End ||
      key.matches(QKeySequence::Copy) || key.matches(QKeySequence::SelectAll)) {
    return false;  // moving the caret or copying changes nothing
  }
  if (k == Qt::Key_Backspace) {
    Forward([&] { screen_->UserKey(e, kBackspace); });
    return true;
  }
  if (auto* spin = dynamic_cast<TSpinEdit*>(&e); spin && (k == Qt::Key_Up || k == Qt::Key_Down)) {
    UserSpin(*spin, k == Qt::Key_Up ? 1 : -1);
    return true;
  }
  if (key.matches(QKeySequence::Paste)) {
    const std::string text = QApplication::clipboard()->text().toStdString();
    Forward([&] { screen_->UserType(e, text); });
    return true;
  }
  const QString text = key.text();
  if (!text.isEmpty() && text.at(0).isPrint() && (mods & (Qt::ControlModifier | Qt::AltModifier)) == 0) {
    const std::string typed = text.toStdString();
    Forward([&] { screen_->UserType(e, typed); });
  }
  return true;  // anything else (Delete, cut, undo) would edit behind the model's back
}

void ExpDadosView::UserSpin(TSpinEdit& e, int steps) {
  Forward([&] { screen_->UserSpin(e, steps); });
}

void ExpDadosView::UserPickDate(TDateEditPlus& e, QDate date) {
  // Picking a day is typing it: the focus comes to the edit first (the field left behind runs
  // its exit check), then the edit shows the date.
  Forward([&] {
    screen_->RunEvent([&] {
      screen_->FocusControl(&e);
      if (screen_->ActiveControl() != &e) return;
      e.SetDate(TDateTime::FromDate({date.year(), date.month(), date.day()}));
    });
  });
}

void ExpDadosView::UserActivate() {
  Forward([&] {
    screen_->RunEvent([&] {
      if (screen_->OnActivate) screen_->OnActivate();
    });
  });
}

bool ExpDadosView::focusNextPrevChild(bool next) {
  if (syncing_) return true;  // Qt leaving a widget the model just disabled: the model decides
  if (!screen_) return QWidget::focusNextPrevChild(next);
  if (next) {
    Forward([&] { screen_->UserTab(); });
    return true;
  }
  // Shift+Tab: the control before the focused one in the model's keyboard order.
  std::vector<TControl*> list = screen_->TabList();
  if (list.empty()) return true;
  size_t prev = list.size() - 1;
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == screen_->ActiveControl()) prev = (i + list.size() - 1) % list.size();
  }
  Forward([&] { screen_->UserFocus(*list[prev]); });
  return true;
}

void ExpDadosView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  SyncFocus();
}

void ExpDadosView::closeEvent(QCloseEvent* event) {
  if (screen_ && screen_->Showing()) {
    TfrmExpDados* s = screen_;
    Forward([&] { s->RunEvent([&] { s->Close(); }); });
  }
  if (screen_ && screen_->Showing()) {
    event->ignore();  // the close step failed: the screen stays open
  } else {
    Detach();
    event->accept();
  }
}

}  // namespace kve::qt
