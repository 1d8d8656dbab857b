#pragma once
// Every message the program writes to the log: the source name printed in the File field,
// the fixed message code and the printf-style message format, grouped per source.
// Call sites pass them together, e.g.
//   LogError(__LINE__, kSrcRecordControlThread, kCodeAbort, kMsgAbort);
// The comment on each group names the level its lines are written at. Constants only.

namespace qarv {

// The log itself.
inline constexpr const char kSrcQarvLog[] = "QarvLog";
// WARN: the older half of the log was removed.
inline constexpr int kCodeLogTrimmed = -36;
inline constexpr const char kMsgLogTrimmed[] = "删除早期日志信息";

// The video file list.
inline constexpr const char kSrcQarvFileManagement[] = "QarvFileManagement";
// WARN, argument: the file name.
inline constexpr int kCodeFileRemoved = -23;
inline constexpr const char kMsgFileRemoved[] = "删除文件 %s";
// WARN, argument: the file name.
inline constexpr int kCodeFileAdded = -22;
inline constexpr const char kMsgFileAdded[] = "添加文件 %s";
// WARN, argument: the path. A recording that no entry holds (its recorder ended without
// finishing it) was taken into the catalogue at start-up.
inline constexpr int kCodeOrphanAdopted = -24;
inline constexpr const char kMsgOrphanAdopted[] = "收录未登记的录像 %s";
// WARN, argument: the path. An unlisted recording that is empty or cannot be read was left
// as it is.
inline constexpr int kCodeOrphanUnreadable = -25;
inline constexpr const char kMsgOrphanUnreadable[] = "未登记的录像为空或无法读取，保留原样 %s";
// WARN, argument: the path. A recording cut off before its end was rewritten so that
// players see its whole length (also written by the capture session, for its own recording).
inline constexpr int kCodeOrphanRepaired = -26;
inline constexpr const char kMsgOrphanRepaired[] = "修复中断的录像 %s";

// The share page.
inline constexpr const char kSrcQarvMySharePage[] = "QarvMySharePage";
// ERROR, argument: the server address.
inline constexpr int kCodeServerLoginFailed = -30;
inline constexpr const char kMsgServerLoginFailed[] = "登录到服务器失败%s";

// The application.
inline constexpr const char kSrcQarvRecorder[] = "QarvRecorder";
// ERROR: the device could not be registered.
inline constexpr int kCodeRegisterDeviceFailed = -30;
inline constexpr const char kMsgRegisterDeviceFailed[] = "注册设备设备";

// The settings store.
inline constexpr const char kSrcQarvRecordInfoCenter[] = "QarvRecordInfoCenter";
// ERROR: the configuration file is broken.
inline constexpr int kCodeConfigError = -7;
inline constexpr const char kMsgConfigError[] = "配置文件错误";

// The login dialog.
inline constexpr const char kSrcLoginDialog[] = "LoginDialog";
// INFO (LogWrite): the login button was clicked.
inline constexpr int kCodeLoginClicked = -31;
inline constexpr const char kMsgLoginClicked[] = "点击登入";
// INFO (LogWrite), argument: the user name.
inline constexpr int kCodeLoginSucceeded = -33;
inline constexpr const char kMsgLoginSucceeded[] = "%s登录成功";
// ERROR, arguments: the reason text and the server's error code.
inline constexpr int kCodeLoginFailed = -30;
inline constexpr const char kMsgLoginFailed[] = "%s, ErrorCode=%d";
// ERROR: user name or password missing.
inline constexpr int kCodeLoginFieldsEmpty = -34;
inline constexpr const char kMsgLoginFieldsEmpty[] = "用户或密码为空";
// ERROR: an event came from an unknown control.
inline constexpr int kCodeBadControlId = -2;
inline constexpr const char kMsgBadControlId[] = "控件id错误";

// The upload with progress.
inline constexpr const char kSrcProgressHttpUpload[] = "ProgressHttpUpload";
// ERROR: the upload thread was used before it was set up.
inline constexpr int kCodeUploadThreadNotInitialised = -8;
inline constexpr const char kMsgUploadThreadNotInitialised[] = "没有初始化上传线程";
// WARN, argument: the video's file name. The transfer failed on the network (refused, reset,
// timed out) and is tried once more.
inline constexpr int kCodeUploadRetry = -9;
inline constexpr const char kMsgUploadRetry[] = "上传网络异常，重试一次 %s";

// The capture session thread.
inline constexpr const char kSrcRecordControlThread[] = "RecordControlThread";
// ERROR: the recording ended abnormally.
inline constexpr int kCodeAbort = -15;
inline constexpr const char kMsgAbort[] = "异常终止";
// ERROR: no file name for the recording.
inline constexpr int kCodeFileNameNotFound = -7;
inline constexpr const char kMsgFileNameNotFound[] = "无法找到文件名";
// ERROR, argument: the error code of the media analysis.
inline constexpr int kCodeMediaAnalysisFailed = -7;
inline constexpr const char kMsgMediaAnalysisFailed[] = "分析媒体文件错误: ErrorCode=%d";
// WARN, argument: the free megabytes. The video folder's disk ran low during a recording,
// which was stopped and kept.
inline constexpr int kCodeDiskLowStopped = -17;
inline constexpr const char kMsgDiskLowStopped[] = "磁盘空间不足，录像已停止: 剩余 %lld MB";
// WARN, argument: the free megabytes. A recording was not started for lack of disk space.
inline constexpr int kCodeDiskLowRefused = -18;
inline constexpr const char kMsgDiskLowRefused[] = "磁盘空间不足，未开始录像: 剩余 %lld MB";

// The upload task list.
inline constexpr const char kSrcUploadFileInfoManager[] = "UploadFileInfoManager";
// ERROR: a seventh upload task was refused.
inline constexpr int kCodeTooManyUploads = -27;
inline constexpr const char kMsgTooManyUploads[] = "上传任务超过6个";
// WARN: an upload task was removed.
inline constexpr int kCodeUploadTaskRemoved = -26;
inline constexpr const char kMsgUploadTaskRemoved[] = "删除一个上传文件任务";

// The global hot keys.
inline constexpr const char kSrcGlobalHotKey[] = "GlobalHotKey";
// WARN, arguments: the key combination (e.g. "Ctrl+F9") and one of the reasons below.
inline constexpr int kCodeHotKeyRegisterFailed = -40;
inline constexpr const char kMsgHotKeyRegisterFailed[] = "热键注册失败: %s, %s";
inline constexpr const char kMsgHotKeyNoDisplay[] = "无法连接显示";
inline constexpr const char kMsgHotKeyDisplayNotAnswering[] = "显示无响应";
inline constexpr const char kMsgHotKeyHeldElsewhere[] = "已被其他程序占用";
inline constexpr const char kMsgHotKeyUnsupported[] = "不支持的按键";
inline constexpr const char kMsgHotKeyUsedByOtherId[] = "已用于标识";  // followed by the identifier
// WARN: the connection to the display was lost; the hot keys no longer work.
inline constexpr int kCodeHotKeyDisplayLost = -41;
inline constexpr const char kMsgHotKeyDisplayLost[] = "热键与显示的连接已断开";

// The embedded web view.
inline constexpr const char kSrcWebView[] = "WebView";
// INFO (LogWrite): running as root, Chromium's sandbox is switched off for the web pages.
inline constexpr int kCodeWebSandboxOff = -70;
inline constexpr const char kMsgWebSandboxOff[] = "以root身份运行，网页不使用沙箱";
// ERROR, argument: the loader's reason. The web engine module could not be loaded.
inline constexpr int kCodeWebModuleMissing = -71;
inline constexpr const char kMsgWebModuleMissing[] = "网页模块无法加载 %s";

// The launcher and updater.
inline constexpr const char kSrcQarvClientUpdate[] = "QarvClientUpdate";
// ERROR, arguments: the outcome code and the text shown to the user. The offered recorder was
// not installed; the old one and its version stay.
inline constexpr int kCodeUpdateFailed = -60;
inline constexpr const char kMsgUpdateFailed[] = "更新失败 %d: %s";
// ERROR, argument: the configuration file. The new recorder is installed but its version
// could not be recorded.
inline constexpr int kCodeVersionWriteFailed = -61;
inline constexpr const char kMsgVersionWriteFailed[] = "写入版本信息失败 %s";

}  // namespace qarv
