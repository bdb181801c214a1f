#include "ui/qt/widgets.h"

#include <QCalendarWidget>
#include <QKeyEvent>
#include <QLocale>
#include <QTextCharFormat>
#include <QVBoxLayout>

#include "ui/qt/expdados_view.h"

namespace kve::qt {

QColor ToQColor(TColor c, const QPalette& palette) {
  switch (c) {
    case clWindow: return palette.color(QPalette::Base);
    case clWindowText: return palette.color(QPalette::Text);
    case clBtnFace: return palette.color(QPalette::Button);
    case clInfoBk: return QColor(0xFF, 0xFF, 0xE1);  // the platform's pale yellow
    default: break;
  }
  if ((c & 0xFF000000u) != 0) return palette.color(QPalette::Base);  // another system colour
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);       // stored as 0x00BBGGRR
}

EditWidget::EditWidget(ExpDadosView& view, TCustomEdit& edit, QWidget* parent)
    : QLineEdit(parent), view_(view), edit_(edit) {
  setObjectName(QString::fromStdString(edit.Name()));
  setDragEnabled(false);
  setAcceptDrops(false);
  setContextMenuPolicy(Qt::NoContextMenu);
}

void EditWidget::keyPressEvent(QKeyEvent* e) {
  if (view_.UserKey(edit_, *e)) {
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void EditWidget::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  view_.UserFocusIn(edit_, e->reason());
}

// Composed characters (dead keys) arrive as one committed text: typed like any other.
void EditWidget::inputMethodEvent(QInputMethodEvent* e) {
  if (!e->commitString().isEmpty()) {
    QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, e->commitString());
    view_.UserKey(edit_, key);
  }
  e->accept();
}

RadioWidget::RadioWidget(ExpDadosView& view, TControl& control, QWidget* parent)
    : QRadioButton(parent), view_(view), control_(control) {
  setObjectName(QString::fromStdString(control.Name()));
  setAutoExclusive(false);  // the model unchecks the others
  connect(this, &QAbstractButton::clicked, this, [this] { view_.UserClick(control_); });
}

void RadioWidget::focusInEvent(QFocusEvent* e) {
  QRadioButton::focusInEvent(e);
  view_.UserFocusIn(control_, e->reason());
}

CheckWidget::CheckWidget(ExpDadosView& view, TControl& control, QWidget* parent)
    : QCheckBox(parent), view_(view), control_(control) {
  setObjectName(QString::fromStdString(control.Name()));
  connect(this, &QAbstractButton::clicked, this, [this] { view_.UserClick(control_); });
}

void CheckWidget::focusInEvent(QFocusEvent* e) {
  QCheckBox::focusInEvent(e);
  view_.UserFocusIn(control_, e->reason());
}

SpeedWidget::SpeedWidget(ExpDadosView& view, TControl& control, QWidget* parent) : QToolButton(parent) {
  setObjectName(QString::fromStdString(control.Name()));
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(false);
  connect(this, &QAbstractButton::clicked, this, [&view, &control] { view.UserClick(control); });
}

CalendarButton::CalendarButton(ExpDadosView& view, TDateEditPlus& edit, QWidget* parent)
    : QToolButton(parent), view_(view), edit_(edit) {
  setObjectName(QString::fromStdString(edit.Name() + "Calendar"));
  setFocusPolicy(Qt::NoFocus);
  setArrowType(Qt::DownArrow);
  setToolTip(QStringLiteral("Calendário"));
  connect(this, &QAbstractButton::clicked, this, [this] { Popup(); });
}

void CalendarButton::Popup() {
  auto* popup = new QWidget(this, Qt::Popup);
  popup->setObjectName(QStringLiteral("kveCalendar"));
  popup->setAttribute(Qt::WA_DeleteOnClose);
  auto* cal = new QCalendarWidget(popup);
  cal->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
  cal->setFirstDayOfWeek(Qt::Sunday);
  cal->setGridVisible(true);
  // The weekday headers are the edit's own names, cut to three letters as the month grid has
  // room for; Sunday first, as the edit lists them.
  const auto& names = edit_.WeekDayNames();
  const Qt::DayOfWeek days[] = {Qt::Sunday,   Qt::Monday, Qt::Tuesday, Qt::Wednesday,
                                Qt::Thursday, Qt::Friday, Qt::Saturday};
  cal->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
  for (size_t i = 0; i < names.size() && i < 7; ++i) {
    QTextCharFormat f = cal->weekdayTextFormat(days[i]);
    f.setToolTip(QString::fromStdString(names[i]));
    cal->setWeekdayTextFormat(days[i], f);
  }
  // The date shown, else today as the screen knows it (not the calendar's own idea of it).
  const CivilDate d = edit_.IsValidDate() && !edit_.IsEmpty() ? edit_.GetDate().date() : TDateTime::Now().date();
  cal->setSelectedDate(QDate(d.year, d.month, d.day));
  // Enter takes the day under the cursor, as a click does.
  connect(cal, &QCalendarWidget::activated, popup, [this, popup](QDate date) {
    if (!popup->isVisible()) return;  // the click of a double click took it already
    popup->close();
    view_.UserPickDate(edit_, date);
  });
  connect(cal, &QCalendarWidget::clicked, popup, [this, popup](QDate date) {
    if (!popup->isVisible()) return;
    popup->close();
    view_.UserPickDate(edit_, date);
  });
  auto* layout = new QVBoxLayout(popup);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(cal);
  popup->adjustSize();
  // Under the date's own edit, not under the first field of its group.
  QWidget* anchor = view_.WidgetOf(edit_);
  if (!anchor) anchor = this;
  popup->move(anchor->mapToGlobal(QPoint(0, anchor->height())));
  popup->show();
  cal->setFocus(Qt::PopupFocusReason);
}

}  // namespace kve::qt
