#pragma once
// The texts of the dialogs: source texts, shown through Tr.

#include <QtGlobal>

namespace res {

namespace text {
inline constexpr char kAppTitle[] = "Signer";
inline constexpr char kParseInt[] = QT_TRANSLATE_NOOP("Signer", "请输入一个整数。");
inline constexpr char kLoginTitle[] = QT_TRANSLATE_NOOP("Signer", "登录");
inline constexpr char kLoginUser[] = QT_TRANSLATE_NOOP("Signer", "用户名：");
inline constexpr char kLoginPassword[] = QT_TRANSLATE_NOOP("Signer", "密码：");
inline constexpr char kLoginServer[] = QT_TRANSLATE_NOOP("Signer", "服务器：");
inline constexpr char kLoginPop3Port[] = QT_TRANSLATE_NOOP("Signer", "POP3端口:");
inline constexpr char kLoginSmtpPort[] = QT_TRANSLATE_NOOP("Signer", "SMTP端口:");
inline constexpr char kLoginAuth[] = QT_TRANSLATE_NOOP("Signer", "服务器要求身份验证");
inline constexpr char kOk[] = QT_TRANSLATE_NOOP("Signer", "确定");
inline constexpr char kCancel[] = QT_TRANSLATE_NOOP("Signer", "取消");
inline constexpr char kAboutTitle[] = QT_TRANSLATE_NOOP("Signer", "关于 Signer");
// %1: the version (MAILSIGNOFF_VERSION).
inline constexpr char kAboutVersion[] = QT_TRANSLATE_NOOP("Signer", "Signer %1 版");
inline constexpr char kReturnReasonTitle[] = QT_TRANSLATE_NOOP("Signer", "退回原因");
}  // namespace text

}  // namespace res
