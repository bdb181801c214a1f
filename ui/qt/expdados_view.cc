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
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "params/expdados_messages.h"
#include "platform/maker/btn_pesquisa.h"
#include "ui/qt/qt_export_thread.h"
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

template <typename F>
void ExpDadosView::WhileBusy(F&& work) {
  struct Restore {
    ExpDadosView& v;
    bool was;
    ~Restore() {
      v.exporting_ = was;
      if (v.screen_) v.Refresh(v.screen_->sbtImportExport);
    }
  } restore{*this, exporting_};
  exporting_ = true;
  if (screen_) Refresh(screen_->sbtImportExport);
  work();
}

ExpDadosView::ExpDadosView(TfrmExpDados& screen, QWidget* parent) : QWidget(parent), screen_(&screen) {
  setObjectName(Q(screen.Name()));
  Build();
  screen.SetObserver(this);
  screen.services().runExport = [this](ExportRunView& screenView,
                                       const std::function<void(ExportRunView&)>& body) {
    WhileBusy([&] { RunExportOffGuiThread(*this, screenView, body); });
  };
  // What the host does once the export ended (its ledger reads the files back and keeps a
  // copy) takes its time too: off this thread as well, the form still the run's meanwhile.
  if (auto ended = screen.services().exportEnded) {
    hostExportEnded_ = ended;
    screen.services().exportEnded = [this, ended](TfrmExpDados& s, const ExportEnd& end) {
      WhileBusy([&] { RunOffGuiThread([&] { ended(s, end); }); });
    };
  }
  RefreshAll();
}

ExpDadosView::~ExpDadosView() { Detach(); }

void ExpDadosView::Detach() {
  if (screen_ && screen_->Observer() == this) {
    screen_->SetObserver(nullptr);
    screen_->services().runExport = nullptr;
    if (hostExportEnded_) screen_->services().exportEnded = std::move(hostExportEnded_);
  }
  screen_ = nullptr;
}

QSize ExpDadosView::sizeHint() const {
  if (!content_) return QWidget::sizeHint();
  // Room for the scroll bars too, so that at this size they never show.
  const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const QSize form = content_->sizeHint().expandedTo(content_->minimumSizeHint());
  return form.grownBy(contentsMargins()) + QSize(bar, bar);
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
    lookups_[&code] = &button;
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

  // The form scrolls when its window is smaller than the form (a small screen, a window
  // made narrow); extra room when maximised goes below the form, not between its parts.
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("kveFormScroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setFocusPolicy(Qt::NoFocus);
  outer->addWidget(scroll);
  auto* content = new QWidget(scroll);
  content_ = content;
  QWidget* const form = content;
  auto* root = new QVBoxLayout(content);

  // Action bar of the base screen: export, cancel, screen code.
  auto* bar = new QHBoxLayout;
  for (TSpeedButton* b : {&s.sbtImportExport, &s.sbtCancelar}) {
    SpeedWidget* w = speed(*b, form);
    w->setToolButtonStyle(Qt::ToolButtonTextOnly);
    w->setMinimumWidth(90);
    bar->addWidget(w);
  }
  bar->addStretch(1);
  bar->addWidget(label(s.lblCodTela, form));
  root->addLayout(bar);

  // Central kitchen, device and nutritionist.
  QFrame* fil = panel(s.panFilial, form);
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
  QGroupBox* agr = group(s.grbAgregada, form);
  auto* agrLine = new QHBoxLayout(agr);
  agrLine->addWidget(radio(s.rbtTAgreg, agr));
  agrLine->addWidget(radio(s.rbtLAgreg, agr));
  agrLine->addWidget(speed(s.btnAgregada, agr));
  chosenBranches_ = new QLabel(agr);
  chosenBranches_->setObjectName(QStringLiteral("kveChosenBranches"));
  chosenBranches_->setWordWrap(true);
  agrLine->addWidget(chosenBranches_, 1);
  left->addWidget(agr);
  QGroupBox* prod = group(s.grbProdutos, form);
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
  QGroupBox* card = dateRange(s.grbDataCard, s.lblCardIni, s.depCardIni, s.lblCardFim, s.depCardFim, form);
  QGroupBox* af = dateRange(s.grbDataAF, s.lblAFIni, s.depAFIni, s.lblAFFim, s.depAFFim, form);
  QGroupBox* soli = dateRange(s.grbDataSoliComp, s.lblSoliCompIni, s.depSoliCompIni, s.lblSoliCompFim,
                              s.depSoliCompFim, form);
  auto* right = new QVBoxLayout;
  right->addWidget(card);
  right->addWidget(soli);
  right->addWidget(af);
  right->addStretch(1);
  middle->addLayout(right, 1);
  root->addLayout(middle);

  QFrame* agp = panel(s.panAgrupProd, form);
  auto* agpGrid = new QGridLayout(agp);
  codeRow(agpGrid, 0, label(s.lblAgrupProd, agp), s.medAgrupProd, s.btpAgrupProd, s.edtNmAgrupProd, agp);
  agpGrid->setColumnStretch(1, 1);
  root->addWidget(agp);

  QFrame* dir = panel(s.panDiretorio, form);
  auto* dirLine = new QHBoxLayout(dir);
  dirLine->addWidget(label(s.lblDiretorio, dir));
  dirLine->addWidget(edit(s.medDiretorios, dir, 0), 1);
  root->addWidget(dir);

  auto* progress = new QProgressBar(form);
  Bind(s.pgbProgresso, progress);
  root->addWidget(progress);
  root->addWidget(label(s.lblStatus, form));
  root->addStretch(1);
  scroll->setWidget(content);

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
  RefreshChosenBranches();
}

void ExpDadosView::RefreshChosenBranches() {
  if (!screen_ || !chosenBranches_) return;
  QStringList codes;
  if (screen_->rbtLAgreg.Checked()) {
    for (const QString& code : Q(screen_->ListaAgreg).split(QLatin1Char('_'), Qt::SkipEmptyParts))
      codes << code.trimmed();
  }
  chosenBranches_->setText(codes.join(QStringLiteral(", ")));
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
  w->setEnabled(c.Enabled() && !(exporting_ && &c == &screen_->sbtImportExport));
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
    // A speed button shows a picture; here its caption, or its hint when it has none. The
    // action bar's two take their first letter as mnemonic: Alt+E exports, Alt+C cancels.
    QString text = Q(c.Caption().empty() ? c.Hint() : c.Caption());
    if ((&c == &screen_->sbtImportExport || &c == &screen_->sbtCancelar) && !text.isEmpty() &&
        !text.contains(QLatin1Char('&'))) {
      text.prepend(QLatin1Char('&'));
    }
    static_cast<QToolButton*>(w)->setText(text);
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

// A long step on this thread (a look-up, a check against the server) keeps the event loop
// waiting until it ends: the status line is painted as it comes, a few times a second at most.
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
  if (exporting_) {  // the form is the run's until it ends: Qt's focus goes back
    SyncFocus();
    return;
  }
  Forward([&] { screen_->UserFocus(c); });
  refused_ = screen_ && screen_->ActiveControl() != &c ? &c : nullptr;
}

void ExpDadosView::UserClick(TControl& c) {
  if (!screen_) return;
  if (exporting_) {
    Refresh(c);  // a radio button or check box shows the model's state again
    return;
  }
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
  RefreshChosenBranches();
}

void ExpDadosView::UserFocusIn(TControl& c, Qt::FocusReason reason) {
  if (syncing_ || !screen_) return;
  if (!screen_->ActiveControl()) {
    UserFocus(c);  // the window's first focus is the screen's first
    return;
  }
  switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::MouseFocusReason:
    case Qt::ShortcutFocusReason:
      UserFocus(c);
      return;
    default:
      break;
  }
  // Not the operator's move: Qt's focus goes back where the model has it, once Qt is done.
  if (screen_->ActiveControl() != &c) {
    QTimer::singleShot(0, this, [this] {
      if (screen_) SyncFocus();
    });
  }
}

bool ExpDadosView::UserKey(TCustomEdit& e, const QKeyEvent& key) {
  if (!screen_ || exporting_) return true;
  const int k = key.key();
  const auto mods = key.modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
  if (k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_Return || k == Qt::Key_Enter ||
      k == Qt::Key_Escape) {
    return false;  // the form's keys, not the edit's
  }
  // F4 or Alt+Down opens a date's calendar or a code's look-up, as their buttons do.
  if (k == Qt::Key_F4 || (k == Qt::Key_Down && (mods & Qt::AltModifier))) {
    if (auto it = extras_.find(&e); it != extras_.end()) {
      for (QWidget* x : it->second) {
        if (auto* cal = dynamic_cast<CalendarButton*>(x); cal && cal->isEnabled()) cal->Popup();
      }
    } else if (auto look = lookups_.find(&e); look != lookups_.end()) {
      UserClick(*look->second);
    }
    return true;
  }
  if (key.matches(QKeySequence::SelectAll)) {
    Forward([&] { e.SelectAll(); });
    Refresh(e);
    return true;
  }
  // F2 edits the field as it stands, as in a spreadsheet: the selection the focus brought is
  // dropped and typing goes on after the text. End does the same (the end is where the
  // model types).
  if (k == Qt::Key_F2 || (k == Qt::Key_End && (key.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier)) {
    Forward([&] { e.Deselect(); });
    Refresh(e);
    return true;
  }
  if (k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Home || k == Qt::Key_End ||
      key.matches(QKeySequence::Copy)) {
    return false;  // moving the caret or copying changes nothing
  }
  if (k == Qt::Key_Backspace || (k == Qt::Key_Delete && e.Selected())) {
    // Delete removes a selection; with none there is nothing after the caret to remove.
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
  if (exporting_) return;
  Forward([&] { screen_->UserSpin(e, steps); });
}

void ExpDadosView::UserPickDate(TDateEditPlus& e, QDate date) {
  if (exporting_) return;
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
  if (exporting_) return;
  Forward([&] {
    screen_->RunEvent([&] {
      if (screen_->OnActivate) screen_->OnActivate();
    });
  });
}

bool ExpDadosView::focusNextPrevChild(bool next) {
  if (syncing_) return true;  // Qt leaving a widget the model just disabled: the model decides
  if (!screen_) return QWidget::focusNextPrevChild(next);
  if (exporting_) return true;
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
  if (!shownOnce_) {
    shownOnce_ = true;
    // The form measures its natural size only once shown: its window in the host then takes
    // that size, as far as the host's area allows; smaller, the form scrolls.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
      QTimer::singleShot(0, sub, [sub] {
        QSize size = sub->sizeHint();
        if (QMdiArea* area = sub->mdiArea()) size = size.boundedTo(area->viewport()->size());
        sub->resize(size);
      });
    }
  }
  // A form shown with no focus yet gives it to its first control, as the platform's forms do,
  // so the keyboard starts on the screen whichever widget Qt would have chosen.
  if (screen_ && !screen_->ActiveControl() && !exporting_) {
    const std::vector<TControl*> list = screen_->TabList();
    if (!list.empty()) Forward([&] { screen_->UserFocus(*list.front()); });
  }
  SyncFocus();
}

void ExpDadosView::closeEvent(QCloseEvent* event) {
  if (screen_ && exporting_) {
    // The run holds the screen until it ends; the operator is told why the window stays.
    event->ignore();
    screen_->services().dialogs.MessageDlg(kMsgWaitForExport, TMsgDlgType::mtInformation, mbOKOnly);
    return;
  }
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
