#pragma once
// The pictures installed with the programs, drawn from code: one function per picture and a
// table of where each one goes in the installation. Drawing is deterministic. Needs a
// QGuiApplication (fonts); used by one thread at a time.
//
// Button pictures are strips of four equal frames side by side (normal, mouse over, pressed,
// disabled) that the skinned buttons stretch over their area; frame sizes below are the sizes
// the windows draw them at.

#include <QImage>
#include <QString>
#include <vector>

namespace qarv::assets {

// Icon/: the mark laid over every recording (top right corner of the video): a small
// semi-transparent badge with a record dot and the name.
QImage DrawLogo();
// Icon/QarvRecorder.ico: the program icon, 64 x 64.
QImage DrawProgramIcon();

// Skin/, buttons (skin_buttons.cpp).
QImage DrawButton();            // Button.png: 70 x 28 frames, the caption is drawn over it
QImage DrawCloseButton();       // sysbtn_close.png: 46 x 26 frames, the band's top right corner
QImage DrawMinimiseButton();    // sysbtn_min.png: 31 x 26 frames
QImage DrawShareButton();       // btn_share.png: 25 x 25 frames on a video row
QImage DrawCollectYesButton();  // btn_collect_yes.png: a favourite (filled star)
QImage DrawCollectNoButton();   // btn_collect_no.png: not a favourite (outlined star)
QImage DrawDeleteButton();      // btn_delete.png
QImage DrawMenuSave();          // menu_save.png: 21 x 21 frames on the capture menu bar
QImage DrawMenuClose();         // menu_close.png: 21 x 21 frames
QImage DrawMenuFinish();        // menu_finish.png: 48 x 21 frames

// Skin/, the main window and the capture tool (skin_window.cpp).
QImage DrawTitleBackground();  // background.png: the 96-pixel title band, stretched to the width
QImage DrawTitleHighlight();   // mainframe_top_highlight.png: gloss and edge laid over the band
QImage DrawTabFrame();         // frame.png: two 69 x 69 frames (hover, selected) over a tab item
QImage DrawCoverLayer();       // cover_layer.png: see-through tile darkening the unselected screen
QImage DrawMenuBar();          // menubar.png: capture menu bar background with a 1-pixel outer edge
QImage DrawPromptBack();       // prompt_back.png: panel behind the capture tool's instructions

// Skin/, combo box bitmaps (skin_combo.cpp), stored as 24-bit BMP files.
QImage DrawComboFrame();  // combobox.bmp: 127 x 28, edge pieces at fixed offsets
QImage DrawComboThumb();  // combobox_thumb.bmp: three 21 x 21 drop-button frames

// Skin/, icons and stand-ins (icons.cpp).
QImage DrawRecordTab();    // record.png: tab picture, 40 x 40, see-through
QImage DrawMyRecordTab();  // myrecord.png
QImage DrawMyShareTab();   // myshare.png
QImage DrawTitleIcon();    // record_ico.png: 16 x 16, beside the window text in the band
QImage DrawNoThumbnail();  // default_jpeg.png: 4:3 stand-in for a video without thumbnails

// Skin/, the capture tool's cursors (skin_cursors.cpp): 32 x 32, see-through, black shapes in a
// white outline. Each carries its hot spot as the text keys "HotSpotX" and "HotSpotY", which
// the PNG files keep.
QImage DrawCaptureCursor();           // cursor_150.png: cross-hair while choosing the area
QImage DrawMoveCursor();              // cursor_151.png: four-way arrow over the selection
QImage DrawSizeHorizontalCursor();    // cursor_152.png: left and right edges
QImage DrawSizeDiagonalCursor();      // cursor_153.png: top left and bottom right corners
QImage DrawSizeAntiDiagonalCursor();  // cursor_154.png: top right and bottom left corners
QImage DrawSizeVerticalCursor();      // cursor_155.png: top and bottom edges

struct Picture {
    QString path;  // relative to the installation directory, with '/' separators; the
                   // suffix chooses the file format (png, bmp, ico)
    QImage (*draw)();
};

// Every picture the generator writes.
const std::vector<Picture>& AllPictures();

}  // namespace qarv::assets
