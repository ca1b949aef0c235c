// Numbers of the language texts the client looks up. Numbers below 300 are
// the long-standing ones; 300 and up are texts this client added, listed in
// the comment block at the top of the English language file.
#pragma once

namespace app::text {

// MESSAGE section.
inline constexpr int kMsgSecondInstance = 24;
inline constexpr int kMsgNotConnectedTalk = 25;
inline constexpr int kMsgNoSnapshotPicture = 41;
inline constexpr int kMsgDefaultAccountsQuestion = 77;
inline constexpr int kMsgEmptyUserId = 91;
inline constexpr int kMsgUserIdHasSpace = 92;
inline constexpr int kMsgUserIdExists = 93;
inline constexpr int kMsgPasswordMismatch = 94;
inline constexpr int kMsgDefaultAccountsCaption = 96;
inline constexpr int kMsgWrongPassword = 300;
inline constexpr int kMsgDeleteAccountQuestion = 301;
inline constexpr int kMsgCannotDeleteAdmin = 302;
inline constexpr int kMsgChangePasswordMismatch = 303;
inline constexpr int kMsgPlaybackRefused = 304;
inline constexpr int kMsgSetupRefused = 305;
inline constexpr int kMsgExitQuestion = 306;
inline constexpr int kMsgSiteNotConnected = 307;
inline constexpr int kMsgDeleteRefusedConnected = 308;
inline constexpr int kMsgClearRowsQuestion = 309;
inline constexpr int kMsgUpgradePathShort = 310;
inline constexpr int kMsgUpgradeQuestion = 311;
inline constexpr int kMsgCloseWhileWorking = 312;
inline constexpr int kMsgTooManyAccounts = 313;
inline constexpr int kMsgSnapshotWriteFailed = 314;
inline constexpr int kMsgPrintFailed = 315;
inline constexpr int kMsgBackupUnavailable = 420;  // remote playback panel: no backup sheet yet

// STRINGS section.
inline constexpr int kStrAppTitle = 247;

// Remote playback panel: hover hints of the transport buttons (left to
// right), the backup button and the calendar and sliders; slider labels and
// the backup button's caption.
inline constexpr int kStrTipFastBackward = 170;
inline constexpr int kStrTipStepBackward = 171;
inline constexpr int kStrTipStop = 172;
inline constexpr int kStrTipPlay = 173;
inline constexpr int kStrTipStepForward = 174;
inline constexpr int kStrTipFastForward = 175;
inline constexpr int kStrTipBackup = 176;
inline constexpr int kStrTipChooseTime = 177;
inline constexpr int kStrPlaybackHour = 420;
inline constexpr int kStrPlaybackMinute = 421;
inline constexpr int kStrPlaybackBackup = 422;

inline constexpr int kStrUploadProgress = 300;
inline constexpr int kStrSnapshotTitle = 301;
inline constexpr int kStrSnapshotSave = 302;
inline constexpr int kStrSnapshotPrint = 303;
inline constexpr int kStrSnapshotClose = 304;
inline constexpr int kStrSnapshotChannel = 305;
inline constexpr int kStrSnapshotTime = 306;
inline constexpr int kStrPrintToFileTitle = 307;

inline constexpr int kStrLive = 310;
inline constexpr int kStrRemotePlayback = 311;
inline constexpr int kStrLocalPlayback = 312;
inline constexpr int kStrSnapshot = 313;
inline constexpr int kStrRemoteSetup = 314;
inline constexpr int kStrConfiguration = 315;
inline constexpr int kStrAccounts = 316;
inline constexpr int kStrExit = 317;
inline constexpr int kStrMute = 318;
inline constexpr int kStrVolume = 319;
inline constexpr int kStrRotate = 320;
inline constexpr int kStrFullScreen = 321;
inline constexpr int kStrAbout = 322;
inline constexpr int kStrSitesPanel = 323;
inline constexpr int kStrPtzPanel = 324;
inline constexpr int kStrEventsPanel = 325;
inline constexpr int kStrLocalPanel = 326;
inline constexpr int kStrRemotePanel = 327;
inline constexpr int kStrSplit = 328;  // "%d" follows: the pane count
inline constexpr int kStrAboutText = 329;

inline constexpr int kStrLoginUser = 330;
inline constexpr int kStrLoginPassword = 331;
inline constexpr int kStrAccountsId = 332;
inline constexpr int kStrAccountsPassword = 333;
inline constexpr int kStrAccountsConfirm = 334;

inline constexpr int kStrEvtPopup = 340;
inline constexpr int kStrEvtHighlight = 341;
inline constexpr int kStrEvtBeep = 342;
inline constexpr int kStrEvtVideoLoss = 343;
inline constexpr int kStrEvtMotion = 344;
inline constexpr int kStrEvtSensor = 345;
inline constexpr int kStrEvtAlarmOut = 346;
inline constexpr int kStrEvtSystem = 347;
inline constexpr int kStrOsdCameraNumber = 348;
inline constexpr int kStrOsdCameraName = 349;
inline constexpr int kStrOsdSiteAddress = 350;
inline constexpr int kStrOsdSiteName = 351;
inline constexpr int kStrOsdSpeed = 352;
inline constexpr int kStrOsdTime = 353;
inline constexpr int kStrOsdTimeFormat = 354;
inline constexpr int kStrVideoRotation = 355;
inline constexpr int kStrNetConnectionTimeout = 356;
inline constexpr int kStrNetReacts = 357;

inline constexpr int kStrConnect = 370;
inline constexpr int kStrDisconnect = 371;
inline constexpr int kStrAddGroup = 372;
inline constexpr int kStrAddSite = 373;
inline constexpr int kStrModify = 374;
inline constexpr int kStrDelete = 375;
inline constexpr int kStrTalk = 376;
inline constexpr int kStrListsTab = 377;
inline constexpr int kStrListShow = 378;
inline constexpr int kStrListClose = 379;
inline constexpr int kStrListNew = 380;
inline constexpr int kStrListEdit = 381;

inline constexpr int kStrLogViewer = 382;

}  // namespace app::text
