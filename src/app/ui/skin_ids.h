// Skin bitmap numbers and the colours of the skin.
//
// Number n names the file "<program folder>/Skin/skin_<n>.bmp" (24-bit BMP);
// 0 names no bitmap. tools/skingen draws every file listed here, and the
// skin test checks that each one was made with the size given below.
//
// Buttons: a button's four state bitmaps follow its base number
// (base + kSkinNormal ... base + kSkinDisabled). Buttons of one shape share
// a mask bitmap; its white (0xFFFFFF) pixels lie outside the button.
// Command buttons carry their icon in the left kSkinCommandTextInset pixels,
// so a button label goes into the rest (the `value` of SetSkin).
//
// This header holds no Qt types so that the skin generator and Qt-free code
// can use it.
#pragma once

#include <string>

#include "app/texts.h"

namespace app::skin {

// Offsets of the state bitmaps from a button's base number.
inline constexpr int kSkinNormal = 0;
inline constexpr int kSkinPressed = 1;
inline constexpr int kSkinHover = 2;
inline constexpr int kSkinDisabled = 3;
inline constexpr int kSkinStateCount = 4;

// The window background and the logo.
inline constexpr int kSkinBackground = 1000;  // 972 x 720, the main window
inline constexpr int kSkinLogo = 1010;        // also written as "logo.bmp"
inline constexpr const char* kLogoFileName = "logo.bmp";

// Command buttons of the main window (96 x 28, icon at the left).
inline constexpr int kSkinLive = 1100;             // back to live
inline constexpr int kSkinRemotePlayback = 1110;
inline constexpr int kSkinLocalPlayback = 1120;
inline constexpr int kSkinSnapshot = 1130;
inline constexpr int kSkinRemoteSetup = 1140;
inline constexpr int kSkinConfiguration = 1150;
inline constexpr int kSkinAccounts = 1160;
inline constexpr int kSkinExit = 1170;
inline constexpr int kSkinRotate = 1180;
inline constexpr int kSkinFullScreen = 1190;
inline constexpr int kSkinAbout = 1200;
inline constexpr int kCommandButtons[] = {
    kSkinLive,          kSkinRemotePlayback, kSkinLocalPlayback, kSkinSnapshot, kSkinRemoteSetup, kSkinConfiguration,
    kSkinAccounts,      kSkinExit,           kSkinRotate,        kSkinFullScreen, kSkinAbout,
};
inline constexpr int kCommandWidth = 96;
inline constexpr int kCommandHeight = 28;
inline constexpr int kSkinCommandTextInset = 24;

// A generic small button without an icon (64 x 22), for short labels.
inline constexpr int kSkinSmall = 1210;
inline constexpr int kSmallWidth = 64;
inline constexpr int kSmallHeight = 22;

// The mute check box (28 x 28): base + state when sound is on, and
// kSkinMuteChecked while muted (the `extra` bitmap of SetSkin).
inline constexpr int kSkinMute = 1220;
inline constexpr int kSkinMuteChecked = 1224;
inline constexpr int kMuteSize = 28;

// The volume slider: groove (the empty track), fill (the track left of the
// handle), handle and the handle while pressed or hovered.
inline constexpr int kSkinSliderGroove = 1300;  // 160 x 6
inline constexpr int kSkinSliderFill = 1301;    // 160 x 6
inline constexpr int kSkinSliderHandle = 1302;  // 14 x 14
inline constexpr int kSkinSliderHandleActive = 1303;
inline constexpr int kSliderLength = 160;
inline constexpr int kSliderGrooveHeight = 6;
inline constexpr int kSliderHandleSize = 14;

// Masks, one per shape.
inline constexpr int kSkinMaskCommand = 1900;
inline constexpr int kSkinMaskSmall = 1901;
inline constexpr int kSkinMaskMute = 1902;
inline constexpr int kSkinMaskSliderHandle = 1903;

// Where the background frames the main window's parts (x, y, width, height).
struct SkinRect {
  int x, y, w, h;
};
inline constexpr int kWindowWidth = 972;
inline constexpr int kWindowHeight = 720;
inline constexpr SkinRect kGridRect{22, 33, 728, 500};
inline constexpr SkinRect kRightColumnRect{756, 110, 208, 598};
inline constexpr SkinRect kPlaybackAreaRect{22, 536, 728, 172};
inline constexpr SkinRect kGridTitleRect{22, 6, 728, 24};
inline constexpr SkinRect kRightTitleRect{756, 6, 208, 24};
inline constexpr SkinRect kLogoRect{760, 40, 200, 60};

// Colours (0xRRGGBB). Buttons and the slider are drawn on kPanelRgb, so they
// sit best on the framed areas.
inline constexpr unsigned kBaseRgb = 0x16191D;    // window body
inline constexpr unsigned kPanelRgb = 0x1D2126;   // inside the frames
inline constexpr unsigned kFrameRgb = 0x323840;   // frame lines
inline constexpr unsigned kAccentRgb = 0x2FA4D9;  // the one accent colour
inline constexpr unsigned kTextRgb = 0xE8ECF0;
inline constexpr unsigned kTextDisabledRgb = 0x6C747E;

// Every state bitmap of a button, in one record; pass it to
// CSkinButton::SetSkin.
struct SkinButtonArt {
  int normal = 0;
  int pressed = 0;
  int hover = 0;
  int mask = 0;
  int fourth = 0;
  int extra = 0;
  int stretch = 0;
  int value = 0;
  int flags = 0;
};

// A command button's art: the four state bitmaps from base, the command
// mask, the label kept clear of the icon.
constexpr SkinButtonArt CommandButtonArt(int base, int stretch = 0) {
  return {base + kSkinNormal, base + kSkinPressed, base + kSkinHover, kSkinMaskCommand, base + kSkinDisabled,
          0, stretch, kSkinCommandTextInset, 0};
}
constexpr SkinButtonArt SmallButtonArt(int stretch = 0) {
  return {kSkinSmall + kSkinNormal, kSkinSmall + kSkinPressed, kSkinSmall + kSkinHover, kSkinMaskSmall,
          kSkinSmall + kSkinDisabled, 0, stretch, 0, 0};
}

// Flags of SetSkin.
inline constexpr int kSkinFlagCheckable = 0x1;  // a check box: each click toggles it

constexpr SkinButtonArt MuteButtonArt() {
  return {kSkinMute + kSkinNormal, kSkinMute + kSkinPressed, kSkinMute + kSkinHover, kSkinMaskMute,
          kSkinMute + kSkinDisabled, kSkinMuteChecked, 0, 0, kSkinFlagCheckable};
}

// "skin_<n>.bmp"; empty for 0 and negative numbers.
inline std::string SkinFileName(int id) {
  return id > 0 ? "skin_" + std::to_string(id) + ".bmp" : std::string();
}

// The full path of bitmap id below the program folder; empty for 0.
inline std::string SkinBitmapPath(int id) {
  return id > 0 ? app::ProgramFolder() + "/Skin/" + SkinFileName(id) : std::string();
}

// The full path of a skin file given by name ("logo.bmp").
inline std::string SkinFilePath(const std::string& name) { return app::ProgramFolder() + "/Skin/" + name; }

}  // namespace app::skin
