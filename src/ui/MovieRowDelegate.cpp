#include "ui/MovieRowDelegate.h"

#include "models/MoviesViewModel.h"
#include "playback/ItemColors.h"
#include "playback/Symbols.h"
#include "ui/ApplicationIcon.h"

#include <QApplication>
#include <QPainter>

namespace {
constexpr int padding = 10;
constexpr int iconSize = 28;
constexpr int minimumWidth = 222;
constexpr int minimumHeight = 60;
}  // namespace

QFont MovieRowDelegate::titleFont() {
    QFont font(QStringLiteral("serif"));
    font.setStyleHint(QFont::Serif);
    font.setPointSize(14);
    return font;
}

QFont MovieRowDelegate::dateFont() {
    QFont font = QApplication::font();
    font.setPointSize(12);
    return font;
}

QIcon MovieRowDelegate::iconFor(const QString& bundleIdentifier) const {
    auto found = icons_.constFind(bundleIdentifier);
    if (found == icons_.constEnd()) {
        const auto icon = applicationIcon(bundleIdentifier);
        found = icons_.insert(bundleIdentifier,
                              icon && !icon->isNull() ? *icon : symbolIcon(QStringLiteral("movieclapper")));
    }
    return *found;
}

void MovieRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    const auto item = index.data(MoviesViewModel::ItemRole).value<VideoItem>();
    painter->save();
    painter->setPen(QColor(255, 255, 255, 26));
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));

    const QRect content = option.rect.adjusted(padding, padding, -padding, -padding);
    const QRect iconRect(content.left(), content.center().y() - iconSize / 2, iconSize, iconSize);
    iconFor(item.BID).paint(painter, iconRect);

    const int textLeft = iconRect.right() + 1 + padding;
    const QRect textRect(textLeft, content.top(), content.right() - textLeft, content.height());
    QColor titleColor = itemQColor(item.color);
    titleColor.setAlphaF(0.7f);
    QColor dateColor(Qt::gray);
    dateColor.setAlphaF(0.7f);

    const QFontMetrics titleMetrics(titleFont()), dateMetrics(dateFont());
    const int blockHeight = titleMetrics.height() + dateMetrics.height();
    QRect titleRect(textRect.left(), textRect.center().y() - blockHeight / 2, textRect.width(), titleMetrics.height());
    QRect dateRect(textRect.left(), titleRect.bottom() + 1, textRect.width(), dateMetrics.height());
    painter->setFont(titleFont());
    painter->setPen(titleColor);
    painter->drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                      titleMetrics.elidedText(item.text, Qt::ElideRight, titleRect.width()));
    painter->setFont(dateFont());
    painter->setPen(dateColor);
    painter->drawText(dateRect, Qt::AlignLeft | Qt::AlignVCenter,
                      dateMetrics.elidedText(item.time, Qt::ElideRight, dateRect.width()));
    painter->restore();
}

QSize MovieRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    const int textHeight = QFontMetrics(titleFont()).height() + QFontMetrics(dateFont()).height();
    return {minimumWidth, std::max(minimumHeight, textHeight + 2 * padding)};
}
