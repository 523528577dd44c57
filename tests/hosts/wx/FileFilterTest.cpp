#include "hosts/wx/FileFilter.h"

#include <gtest/gtest.h>

TEST(FileFilter, TheDialogsFilterBecomesFourWildcardEntries) {
    const std::string filter =
        "SDL file (*.SDL) | *.SDL; |VDL file (*.VDL) | *.VDL; |DNL file (*.DNL) | *.DNL; |"
        "All files (*.*)|*.*|";
    EXPECT_EQ(WildcardFromFilter(filter),
              "SDL file (*.SDL)|*.SDL;*.sdl|VDL file (*.VDL)|*.VDL;*.vdl|"
              "DNL file (*.DNL)|*.DNL;*.dnl|All files (*.*)|*.*");
    // Several patterns in one field, blanks around them, and no final "|".
    EXPECT_EQ(WildcardFromFilter("Images | *.bin ; *.Img|Text|*.txt"),
              "Images|*.bin;*.BIN;*.Img;*.IMG;*.img|Text|*.txt;*.TXT");
    // Nothing usable still offers every file rather than an empty list.
    EXPECT_EQ(WildcardFromFilter(""), "All files (*)|*");
}

TEST(FileFilter, DefaultExtensionGoesOnlyOnATypedNameWithoutOne) {
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "File", false), "/img/box.File");
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "File", true), "/img/box");
    EXPECT_EQ(ApplyDefaultExtension("/img/box.sdl", "File", false), "/img/box.sdl");
    EXPECT_EQ(ApplyDefaultExtension("/img.d/box", "File", false), "/img.d/box.File");
    EXPECT_EQ(ApplyDefaultExtension("/img/box", "", false), "/img/box");
}
