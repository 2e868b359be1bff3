#pragma once

#include <QDir>
#include <QTemporaryDir>

// Makes a fresh empty directory the current one (where Signer keeps Signer.ini) while it lives.
class ScopedWorkingDir {
 public:
  ScopedWorkingDir() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
  ~ScopedWorkingDir() { QDir::setCurrent(m_previous); }
  ScopedWorkingDir(const ScopedWorkingDir&) = delete;
  ScopedWorkingDir& operator=(const ScopedWorkingDir&) = delete;

  QString File(const QString& name) const { return m_dir.filePath(name); }

 private:
  QString m_previous;
  QTemporaryDir m_dir;
};
