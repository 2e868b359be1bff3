#pragma once

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Hears of every change to a row list, before and after it, so that a model can announce it.
class IRowListener {
 public:
  virtual ~IRowListener() = default;
  virtual void RowsInserting(int first, int last) = 0;
  virtual void RowsInserted() = 0;
  virtual void RowsRemoving(int first, int last) = 0;
  virtual void RowsRemoved() = 0;
  virtual void RowsResetting() = 0;
  virtual void RowsReset() = 0;
  virtual void RowChanged(int row) = 0;
};

// Rows of tasks, each known by its TaskId. The list changes on one thread (the GUI thread), which
// also reads it with At; other threads read it through Copy.
template <class Row>
class CRowList {
 public:
  void SetListener(IRowListener* listener) { m_listener = listener; }

  int Count() const { return static_cast<int>(m_rows.size()); }
  const Row& At(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
  // The row of the task; -1 when there is none.
  int Find(const std::string& taskId) const {
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [&](const Row& row) { return row.TaskId == taskId; });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
  }
  // Any thread.
  std::vector<Row> Copy() const {
    const std::lock_guard lock(m_lock);
    return m_rows;
  }

  void Insert(int position, std::vector<Row> rows) {
    if (rows.empty()) return;
    const int first = std::clamp(position, 0, Count());
    if (m_listener) m_listener->RowsInserting(first, first + static_cast<int>(rows.size()) - 1);
    {
      const std::lock_guard lock(m_lock);
      m_rows.insert(m_rows.begin() + first, std::make_move_iterator(rows.begin()),
                    std::make_move_iterator(rows.end()));
    }
    if (m_listener) m_listener->RowsInserted();
  }
  void Append(std::vector<Row> rows) { Insert(Count(), std::move(rows)); }

  void Remove(int row) {
    if (row < 0 || row >= Count()) return;
    if (m_listener) m_listener->RowsRemoving(row, row);
    {
      const std::lock_guard lock(m_lock);
      m_rows.erase(m_rows.begin() + row);
    }
    if (m_listener) m_listener->RowsRemoved();
  }

  // Replaces every row.
  void Assign(std::vector<Row> rows) {
    if (m_listener) m_listener->RowsResetting();
    {
      const std::lock_guard lock(m_lock);
      m_rows = std::move(rows);
    }
    if (m_listener) m_listener->RowsReset();
  }
  void Clear() { Assign({}); }

  // Changes the row in place through change(Row&).
  template <class Change>
  void Update(int row, Change change) {
    if (row < 0 || row >= Count()) return;
    {
      const std::lock_guard lock(m_lock);
      change(m_rows[static_cast<std::size_t>(row)]);
    }
    if (m_listener) m_listener->RowChanged(row);
  }

 private:
  std::vector<Row> m_rows;
  IRowListener* m_listener = nullptr;
  mutable std::mutex m_lock;
};
