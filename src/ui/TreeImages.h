#pragma once
// The tree pane's item pictures, drawn here: an open folder (0), a closed
// folder (1), a small grey disc (2) and a referral's arrow (3), 16 by 15
// pixels.

#include <QIcon>
#include <QPixmap>

constexpr int TREE_IMAGE_OPEN_FOLDER = 0;
constexpr int TREE_IMAGE_CLOSED_FOLDER = 1;
constexpr int TREE_IMAGE_LEAF = 2;
constexpr int TREE_IMAGE_REFERRAL = 3;

// The picture of one image index; an unknown index gives the closed folder.
QPixmap TreeImage(int nImage);

// An icon that shows nImage normally and nSelectedImage while the item is
// selected (the item views paint selected rows in the icon's Selected mode).
QIcon TreeItemIcon(int nImage, int nSelectedImage);
