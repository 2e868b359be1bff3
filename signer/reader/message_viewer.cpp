#include "reader/message_viewer.h"

#include <strings.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "groundkit/mime.h"
#include "reader/viewer_settings.h"
#include "reader/window_placement.h"
#include "store/header_text.h"
#include "store/ui_text.h"

namespace {

// More text than this is not shown; the rest of a part can still be read by saving the message.
constexpr qint64 kLongestText = 8 * 1024 * 1024;

// Shows HTML without fetching anything it refers to: no network, no local files, no other parts.
class CSafeTextBrowser : public QTextBrowser {
 public:
  explicit CSafeTextBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
  }
  QVariant loadResource(int, const QUrl&) override { return {}; }
};

enum class PartKind { kPlain, kHtml, kOther };

// The library names the parts without a name of their own; everything else is the sender's name.
PartKind KindOf(const QString& fileName) {
  static const QRegularExpression pluginText(
      QStringLiteral(R"(^(\d+-)?body\.(txt|htm)\.content$)"));
  static const QRegularExpression walkerText(QStringLiteral(R"(^(\d+-)?\d+\.\d{4,}\.(txt|htm)$)"));
  QRegularExpressionMatch match = pluginText.match(fileName);
  if (!match.hasMatch()) match = walkerText.match(fileName);
  if (!match.hasMatch()) return PartKind::kOther;
  return match.captured(2) == QLatin1String("htm") ? PartKind::kHtml : PartKind::kPlain;
}

QString ShownName(const QString& fileName) {
  static const QRegularExpression unnamed(
      QStringLiteral(R"(^((\d+-)?(part|message\.eml))\.content$)"));
  const QRegularExpressionMatch match = unnamed.match(fileName);
  const QString name = match.hasMatch() ? match.captured(1) : fileName;
  return QString::fromStdString(DecodeHeaderText(name.toStdString()));
}

// A name that can only be a plain file name in the folder the user chose.
QString SuggestedFileName(const QString& shown) {
  QString name;
  for (const QChar c : shown) name += (c.isPrint() && c != u'/' && c != u'\\') ? c : QChar(u'_');
  name = name.trimmed();
  return name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
             ? Tr(QT_TRANSLATE_NOOP("Signer", "附件"))
             : name;
}

QByteArray ReadAtMost(const QString& path, qint64 limit) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.read(limit) : QByteArray();
}

QString HtmlText(const QByteArray& bytes) {
  QStringDecoder decoder = QStringDecoder::decoderForHtml(bytes);
  if (decoder.isValid() && QByteArray(decoder.name()) != "UTF-8") return decoder.decode(bytes);
  return UiText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

QString Field(const MailHeaderMap& header, const char* name) {
  for (const auto& [key, value] : header)
    if (strcasecmp(key.c_str(), name) == 0) return QString::fromStdString(DecodeHeaderText(value));
  return {};
}

// The message's text after its header, as it stands.
QString RawBody(const std::string& path) {
  const QByteArray message = ReadAtMost(QString::fromStdString(path), kLongestText);
  qsizetype end = message.indexOf("\r\n\r\n");
  qsizetype skip = 4;
  const qsizetype lf = message.indexOf("\n\n");
  if (lf >= 0 && (end < 0 || lf < end)) {
    end = lf;
    skip = 2;
  }
  const QByteArray body = end < 0 ? QByteArray() : message.mid(end + skip);
  return UiText(std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
}

}  // namespace

bool DecodeMessageFile(const std::string& path, const QString& folder, tagDecodedMessage& message) {
  message = {};
  MailHeaderMap header;
  unsigned long error = 0;
  if (!BSCFEM_D_GetMailHeaderSec(path.c_str(), header, error)) return false;
  message.m_strFrom = Field(header, "From");
  message.m_strTo = Field(header, "To");
  message.m_strCc = Field(header, "Cc");
  message.m_strSubject = Field(header, "Subject");
  message.m_strDate = Field(header, "Date");

  std::vector<std::string> files;
  if (!BSCFEM_D_GetAttachFileFromEmail(path.c_str(), QFile::encodeName(folder).constData(), files,
                                       error)) {
    message.m_bRaw = true;
    message.m_strText = RawBody(path);
    return true;
  }
  std::vector<std::pair<QString, PartKind>> parts;
  for (const std::string& file : files) {
    const QString partPath = QFile::decodeName(QByteArray::fromStdString(file));
    parts.emplace_back(partPath, KindOf(QFileInfo(partPath).fileName()));
  }
  // The body is the first HTML text, which stands for the first plain text (its alternative), or
  // else the first plain text; any other text is listed with the attachments.
  auto body = std::find_if(parts.begin(), parts.end(),
                           [](const auto& part) { return part.second == PartKind::kHtml; });
  auto alternative = parts.end();
  if (body != parts.end()) {
    message.m_bHtml = true;
    alternative = std::find_if(parts.begin(), parts.end(),
                               [](const auto& part) { return part.second == PartKind::kPlain; });
  } else {
    body = std::find_if(parts.begin(), parts.end(),
                        [](const auto& part) { return part.second == PartKind::kPlain; });
  }
  if (body != parts.end()) {
    const QByteArray text = ReadAtMost(body->first, kLongestText);
    message.m_strText =
        message.m_bHtml
            ? HtmlText(text)
            : UiText(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
  }
  for (auto part = parts.begin(); part != parts.end(); ++part) {
    if (part == body || part == alternative) continue;
    const QFileInfo info(part->first);
    message.m_attachments.push_back({ShownName(info.fileName()), part->first, info.size()});
  }
  return true;
}

CMessageViewer::CMessageViewer(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("messageViewer"));
  setWindowFlag(Qt::Window);
  setModal(false);
  resize(760, 620);

  auto* fields = new QFormLayout;
  const auto field = [this, fields](const char* name, const QString& label) {
    auto* value = new QLabel(this);
    value->setObjectName(QLatin1String(name));
    value->setTextFormat(Qt::PlainText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    fields->addRow(label, value);
    return value;
  };
  m_from = field("from", Tr(QT_TRANSLATE_NOOP("Signer", "发件人:")));
  m_to = field("to", Tr(QT_TRANSLATE_NOOP("Signer", "收件人:")));
  m_cc = field("cc", Tr(QT_TRANSLATE_NOOP("Signer", "抄送:")));
  m_subject = field("subject", Tr(QT_TRANSLATE_NOOP("Signer", "主题:")));
  m_date = field("date", Tr(QT_TRANSLATE_NOOP("Signer", "日期:")));

  m_body = new CSafeTextBrowser(this);
  m_body->setObjectName(QStringLiteral("body"));

  m_attachments = new QTreeWidget(this);
  m_attachments->setObjectName(QStringLiteral("attachments"));
  m_attachments->setHeaderLabels(
      {Tr(QT_TRANSLATE_NOOP("Signer", "附件")), Tr(QT_TRANSLATE_NOOP("Signer", "大小"))});
  m_attachments->setRootIsDecorated(false);
  m_attachments->setMaximumHeight(120);
  m_attachments->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  m_attachments->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  m_attachments->header()->setStretchLastSection(false);

  const auto button = [this](const char* name, const QString& text) {
    auto* created = new QPushButton(text, this);
    created->setObjectName(QLatin1String(name));
    created->setAutoDefault(false);
    return created;
  };
  m_save = button("save", Tr(QT_TRANSLATE_NOOP("Signer", "保存附件(&S)...")));
  m_previous = button("previous", Tr(QT_TRANSLATE_NOOP("Signer", "上一个(&P)")));
  m_next = button("next", Tr(QT_TRANSLATE_NOOP("Signer", "下一个(&N)")));
  // The same keys as the main menu's items; a single letter would decide a task by a slip.
  m_approve = button("approve", Tr(QT_TRANSLATE_NOOP("Signer", "签发(&A)")));
  m_return = button("return", Tr(QT_TRANSLATE_NOOP("Signer", "退回(&B)")));
  QPushButton* close = button("close", Tr(QT_TRANSLATE_NOOP("Signer", "关闭")));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_save);
  buttons->addStretch();
  buttons->addWidget(m_approve);
  buttons->addWidget(m_return);
  buttons->addSpacing(16);
  buttons->addWidget(m_previous);
  buttons->addWidget(m_next);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(m_body, 1);
  layout->addWidget(m_attachments);
  layout->addLayout(buttons);

  connect(m_save, &QPushButton::clicked, this, &CMessageViewer::SaveSelectedAttachment);
  connect(m_attachments, &QTreeWidget::itemDoubleClicked, this,
          &CMessageViewer::SaveSelectedAttachment);
  connect(m_attachments, &QTreeWidget::itemSelectionChanged, this,
          [this] { m_save->setEnabled(!m_attachments->selectedItems().isEmpty()); });
  connect(m_previous, &QPushButton::clicked, this, &CMessageViewer::Previous);
  connect(m_next, &QPushButton::clicked, this, &CMessageViewer::Next);
  connect(m_approve, &QPushButton::clicked, this, &CMessageViewer::Approve);
  connect(m_return, &QPushButton::clicked, this, &CMessageViewer::Return);
  connect(close, &QPushButton::clicked, this, &CMessageViewer::close);

  m_askSavePath = [this](const QString& name) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return QFileDialog::getSaveFileName(this, Tr(QT_TRANSLATE_NOOP("Signer", "保存附件")),
                                        QDir(folder).filePath(name), QString(), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  m_confirmReplace = [this](const QString& path) {
    return QMessageBox::question(this, Tr(QT_TRANSLATE_NOOP("Signer", "保存附件")),
                                 Tr(QT_TRANSLATE_NOOP("Signer", "%1 已存在。要替换它吗?"))
                                     .arg(QDir::toNativeSeparators(path))) == QMessageBox::Yes;
  };
  Clear();
}

CMessageViewer::~CMessageViewer() {
  // Closing the program with the viewer open keeps its size too.
  if (isVisible()) RememberSize();
}

void CMessageViewer::SetDecisionsEnabled(bool enabled) {
  m_bDecisionsEnabled = enabled;
  EnableDecisions();
}

void CMessageViewer::EnableDecisions() {
  const bool shown = !m_strPath.empty();
  m_approve->setEnabled(m_bDecisionsEnabled && shown);
  m_return->setEnabled(m_bDecisionsEnabled && shown);
}

void CMessageViewer::Clear() {
  m_parts.reset();
  m_message = {};
  m_strPath.clear();
  EnableDecisions();
  for (QLabel* label : {m_from, m_to, m_cc, m_subject, m_date}) label->clear();
  m_body->clear();
  m_attachments->clear();
  m_save->setEnabled(false);
}

QString CMessageViewer::PartsFolder() const { return m_parts ? m_parts->path() : QString(); }

bool CMessageViewer::ShowMessage(const std::string& path, bool hasPrevious, bool hasNext) {
  Clear();
  m_previous->setEnabled(hasPrevious);
  m_next->setEnabled(hasNext);
  m_parts = std::make_unique<QTemporaryDir>(
      QDir(QDir::tempPath()).filePath(QStringLiteral("signer-read-XXXXXX")));
  const bool read = m_parts->isValid() && DecodeMessageFile(path, m_parts->path(), m_message);
  if (!read) {
    m_parts.reset();
    m_message = {};
    setWindowTitle(Tr(QT_TRANSLATE_NOOP("Signer", "阅读")));
    m_body->setPlainText(Tr(QT_TRANSLATE_NOOP("Signer", "无法读取这封邮件。")));
    return false;
  }
  m_strPath = path;
  EnableDecisions();
  m_from->setText(m_message.m_strFrom);
  m_to->setText(m_message.m_strTo);
  m_cc->setText(m_message.m_strCc);
  m_subject->setText(m_message.m_strSubject);
  m_date->setText(m_message.m_strDate);
  setWindowTitle(m_message.m_strSubject.isEmpty()
                     ? Tr(QT_TRANSLATE_NOOP("Signer", "阅读"))
                     : Tr(QT_TRANSLATE_NOOP("Signer", "%1 - 阅读")).arg(m_message.m_strSubject));
  if (m_message.m_bHtml)
    m_body->setHtml(m_message.m_strText);
  else
    m_body->setPlainText(m_message.m_strText);
  const QLocale locale;
  for (const tagMessageAttachment& attachment : m_message.m_attachments) {
    auto* item = new QTreeWidgetItem(
        m_attachments, {attachment.m_strName, locale.formattedDataSize(attachment.m_nSize)});
    item->setToolTip(1, Tr(QT_TRANSLATE_NOOP("Signer", "%1 字节")).arg(attachment.m_nSize));
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
  }
  m_attachments->setVisible(!m_message.m_attachments.empty());
  m_save->setVisible(!m_message.m_attachments.empty());
  if (!m_message.m_attachments.empty())
    m_attachments->setCurrentItem(m_attachments->topLevelItem(0));
  return true;
}

bool CMessageViewer::SaveAttachment(std::size_t index, const QString& target) {
  if (index >= m_message.m_attachments.size() || target.isEmpty()) return false;
  QFile from(m_message.m_attachments[index].m_strPath);
  QSaveFile to(target);
  if (!from.open(QIODevice::ReadOnly) || !to.open(QIODevice::WriteOnly)) return false;
  QByteArray buffer;
  while (!(buffer = from.read(64 * 1024)).isEmpty())
    if (to.write(buffer) != buffer.size()) {
      to.cancelWriting();
      return false;
    }
  if (from.error() != QFileDevice::NoError) {
    to.cancelWriting();
    return false;
  }
  return to.commit();
}

void CMessageViewer::SaveSelectedAttachment() {
  QTreeWidgetItem* item = m_attachments->currentItem();
  if (item == nullptr) return;
  const auto index = static_cast<std::size_t>(m_attachments->indexOfTopLevelItem(item));
  if (index >= m_message.m_attachments.size()) return;
  const QString target = m_askSavePath(SuggestedFileName(m_message.m_attachments[index].m_strName));
  if (target.isEmpty()) return;
  if (QFileInfo::exists(target) && !m_confirmReplace(target)) return;
  if (!SaveAttachment(index, target))
    QMessageBox::warning(
        this, Tr(QT_TRANSLATE_NOOP("Signer", "保存附件")),
        Tr(QT_TRANSLATE_NOOP("Signer", "无法保存到 %1。")).arg(QDir::toNativeSeparators(target)));
}

void CMessageViewer::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    PlaceAboveMainWindow();
    // Again once the window is mapped, when the window manager's frame is known.
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) PlaceAboveMainWindow();
    });
  }
  QDialog::showEvent(event);
}

void CMessageViewer::hideEvent(QHideEvent* event) {
  // The decoded parts live only as long as the window shows them; minimising keeps them.
  if (!event->spontaneous()) {
    RememberSize();
    Clear();
  }
  QDialog::hideEvent(event);
}

void CMessageViewer::PlaceAboveMainWindow() {
  m_placedSize = QSize();
  const QWidget* mainWindow = parentWidget() ? parentWidget()->window() : nullptr;
  if (mainWindow == nullptr || !mainWindow->isVisible() || mainWindow->screen() == nullptr) return;
  const QMargins margins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
  const QSize frameSize(margins.left() + margins.right(), margins.top() + margins.bottom());
  QSize remembered = ReadViewerSize();
  if (!remembered.isEmpty()) remembered = remembered.expandedTo(minimumSizeHint()) + frameSize;
  const QRect frame = ViewerPlacement(mainWindow->screen()->geometry(),
                                      mainWindow->frameGeometry().top(), remembered);
  if (!frame.isValid()) return;
  const QRect client = frame.marginsRemoved(margins);
  m_placedSize = client.size();
  setGeometry(client);
}

void CMessageViewer::RememberSize() {
  if (m_placedSize.isValid() && size() != m_placedSize) WriteViewerSize(size());
  m_placedSize = QSize();
}
