#include "player/qt/StoryAccessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "platform/CodePage.h"

namespace {

// The parts of the picture, as children of its interface.
enum : int { kSpeakerPart = 0, kPagePart = 1, kChoicesPart = 2, kPartCount = 3 };

QString ToQt(const WideString& s) { return QString::fromStdString(WideToUtf8(s)); }

class TViewAccessible;

// A part or a choice: an interface of its own, owned by Qt's registry, that reads the
// shared model (which it keeps alive, so a late question from a client finds it).
class TPartAccessible : public QAccessibleInterface, public QAccessibleTextInterface {
 public:
  TPartAccessible(QWidget* view, std::shared_ptr<TStoryAccessModel> model, QAccessibleInterface* parent, int part, int item)
      : FView(view), FModel(std::move(model)), FParent(parent), FPart(part), FItem(item) {}

  bool isValid() const override { return !FView.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return FParent->window(); }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return FParent; }
  QAccessibleInterface* child(int index) const override;
  int childCount() const override { return FPart == kChoicesPart && FItem < 0 ? int(FModel->Choices.size()) : 0; }
  int indexOfChild(const QAccessibleInterface* child) const override;
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name || t == QAccessible::Value) return Text();
    if (t == QAccessible::Description && FPart == kSpeakerPart) return QString::fromUtf8("話し手");
    return QString();
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return FParent->rect(); }
  QAccessible::Role role() const override {
    if (FPart != kChoicesPart) return QAccessible::StaticText;
    return FItem < 0 ? QAccessible::List : QAccessible::ListItem;
  }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.readOnly = true;
    if (FPart == kChoicesPart && FItem >= 0) {
      s.selectable = s.focusable = true;
      s.selected = s.focused = FItem == FModel->Current;
    }
    if (FPart == kChoicesPart && FModel->Choices.isEmpty()) s.invisible = true;
    return s;
  }
  void* interface_cast(QAccessible::InterfaceType t) override {
    return t == QAccessible::TextInterface && FPart != kChoicesPart ? static_cast<QAccessibleTextInterface*>(this) : nullptr;
  }

  // The text interface: the part's text, read only, without a caret or selection.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override { return Text().mid(start, end - start); }
  int characterCount() const override { return int(Text().size()); }
  QRect characterRect(int) const override { return QRect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return QString();
  }

  mutable std::vector<QAccessibleInterface*> Items;  // the choice list's items, made as needed

 private:
  QString Text() const {
    if (FPart == kSpeakerPart) return FModel->Speaker;
    if (FPart == kPagePart) return FModel->Page;
    if (FItem >= 0) return FItem < FModel->Choices.size() ? FModel->Choices[FItem] : QString();
    return QString::fromUtf8("選択肢");
  }
  QPointer<QWidget> FView;
  std::shared_ptr<TStoryAccessModel> FModel;
  QAccessibleInterface* FParent;
  int FPart, FItem;
};

QAccessibleInterface* TPartAccessible::child(int index) const {
  if (FPart != kChoicesPart || FItem >= 0 || index < 0 || index >= childCount()) return nullptr;
  while (int(Items.size()) <= index) {
    auto* item = new TPartAccessible(FView, FModel, const_cast<TPartAccessible*>(this), kChoicesPart, int(Items.size()));
    QAccessible::registerAccessibleInterface(item);
    Items.push_back(item);
  }
  return Items[size_t(index)];
}

int TPartAccessible::indexOfChild(const QAccessibleInterface* child) const {
  for (int i = 0; i < childCount() && i < int(Items.size()); ++i)
    if (Items[size_t(i)] == child) return i;
  return -1;
}

// The picture widget: a client area holding the three parts.
class TViewAccessible : public QAccessibleWidget {
 public:
  TViewAccessible(QWidget* view, std::shared_ptr<TStoryAccessModel> model)
      : QAccessibleWidget(view, QAccessible::Client, QString::fromUtf8("物語")), FModel(std::move(model)) {}
  int childCount() const override { return kPartCount; }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= kPartCount) return nullptr;
    if (!FParts[index]) {
      FParts[index] = new TPartAccessible(widget(), FModel, const_cast<TViewAccessible*>(this), index, -1);
      QAccessible::registerAccessibleInterface(FParts[index]);
    }
    return FParts[index];
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (int i = 0; i < kPartCount; ++i)
      if (FParts[i] == child) return i;
    return -1;
  }
  QAccessibleInterface* focusChild() const override {
    if (FModel->Current < 0) return nullptr;
    return child(kChoicesPart)->child(FModel->Current);
  }

 private:
  std::shared_ptr<TStoryAccessModel> FModel;
  mutable QAccessibleInterface* FParts[kPartCount] = {};
};

// Which widget is the picture, for the factory Qt asks.
QWidget* gStoryView = nullptr;
std::shared_ptr<TStoryAccessModel> gStoryModel;

QAccessibleInterface* StoryFactory(const QString&, QObject* object) {
  if (object && object == gStoryView) return new TViewAccessible(gStoryView, gStoryModel);
  return nullptr;
}

}  // namespace

TStoryAccess::TStoryAccess(QWidget* view) : FView(view), FModel(std::make_shared<TStoryAccessModel>()) {
  gStoryView = view;
  gStoryModel = FModel;
  static bool installed = false;
  if (!installed) QAccessible::installFactory(StoryFactory);
  installed = true;
  // The picture is what the reader reads: it takes the keyboard's focus.
  view->setFocusPolicy(Qt::StrongFocus);
  view->setAccessibleName(QString::fromUtf8("物語"));
}

void TStoryAccess::Take(const TNarration& n) {
  QAccessibleInterface* view = QAccessible::queryAccessibleInterface(FView);
  switch (n.Kind) {
    case TNarration::TKind::Page: {
      FModel->Speaker = ToQt(n.Speaker);
      FModel->Page = ToQt(n.Text);
      FModel->Choices.clear();
      FModel->Current = -1;
      if (!view) return;
      QAccessibleInterface* page = view->child(kPagePart);
      QAccessibleEvent changed(page, QAccessible::NameChanged);
      QAccessible::updateAccessibility(&changed);
      QAccessibleTextUpdateEvent text(page, 0, QString(), FModel->Page);
      QAccessible::updateAccessibility(&text);
      QAccessibleEvent alert(page, QAccessible::Alert);
      QAccessible::updateAccessibility(&alert);
      return;
    }
    case TNarration::TKind::Choices: {
      FModel->Choices.clear();
      for (const WideString& line : n.Lines) FModel->Choices.append(ToQt(line));
      FModel->Current = -1;
      if (!view) return;
      QAccessibleEvent changed(view->child(kChoicesPart), QAccessible::ObjectReorder);
      QAccessible::updateAccessibility(&changed);
      return;
    }
    case TNarration::TKind::Highlight: {
      FModel->Current = n.Index;
      if (!view || n.Index < 0 || n.Index >= FModel->Choices.size()) return;
      QAccessibleInterface* item = view->child(kChoicesPart)->child(n.Index);
      QAccessibleEvent focus(item, QAccessible::Focus);
      QAccessible::updateAccessibility(&focus);
      QAccessibleEvent selection(item, QAccessible::Selection);
      QAccessible::updateAccessibility(&selection);
      return;
    }
    case TNarration::TKind::Advance:
      return;  // what the advance leads to is told when it shows
  }
}
