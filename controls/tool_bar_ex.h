#pragma once
// A row of selectable items (image and caption), used as the main window's page selector.
// Item i spans x from i * (gap + 69) for 69 pixels and, from y (height - 69) / 2, the item
// size; its caption sits in its bottom 20 pixels. "frame.png" of the skin folder, a strip
// of two frames (hover, selected), marks the selected item, else the hovered one. A left
// press on an item selects it and reports ItemSelected(item id). Called on the UI thread.

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

namespace qarv {

class CToolBarEx : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kItemWidth = 69;
    static constexpr int kTextHeight = 20;
    static constexpr int kImageTop = 4;

    CToolBarEx(int itemSize, int gap, int id, QWidget* parent);

    int Id() const { return id_; }
    void AddItem(const QString& imagePath, const QString& text, int id);
    // Selects that item and no other; an index outside the items selects none.
    void Select(int index);
    int SelectedIndex() const;  // -1 when none
    int HoveredIndex() const;   // -1 when none
    int ItemCount() const { return static_cast<int>(items_.size()); }
    int ItemId(int index) const;  // -1 outside the items
    QRect ItemRect(int index) const;
    QRect TextRect(int index) const;
    void SetTextColor(const QColor& color);
    QColor TextColor() const { return textColor_; }
    // The frame strip; "frame.png" of the skin folder unless set. Read on every paint.
    void SetFramePath(const QString& path);

  signals:
    void ItemSelected(int id);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Item {
        QString imagePath;
        QString text;
        int id = 0;
        bool selected = false;
        bool hovered = false;
    };

    bool ValidIndex(int index) const { return index >= 0 && index < ItemCount(); }
    int IndexAt(const QPoint& pos) const;
    void SetHoverAt(const QPoint& pos);
    void ClearHover();

    const int id_;
    const int itemSize_;
    const int gap_;
    QColor textColor_{Qt::black};
    QString framePath_;
    std::vector<Item> items_;
};

}  // namespace qarv
