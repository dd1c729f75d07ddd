// QORFsmElementDofs: table of the degrees of freedom of each element, the part of the dof module assembly reads.
#pragma once
#include "QORBasVector.h"

/// \brief Elements in table order, each with its label and its list of degrees of freedom (solver numbers).
///
/// Element assembly of sparse matrices needs only the null test, the element count, the label of a position and
/// the dof list of a position; the table is filled by AddElement. Positions are 0-based, in insertion order.
class QORFsmElementDofs {
 public:
  /// \brief Appends an element with its n degrees of freedom; returns its position.
  int AddElement(int label, const int* dofs, int n) {
    m_labels.push_back(label);
    m_starts.push_back(m_dofs.size());
    for (int i = 0; i < n; ++i) m_dofs.push_back(dofs[i]);
    return m_labels.size() - 1;
  }
  /// \brief True when the table holds no element.
  bool IsNull() const { return m_labels.size() == 0; }
  /// \brief Number of elements.
  int NumElements() const { return m_labels.size(); }
  /// \brief Label of the element at position pos (0 <= pos < NumElements()).
  int Label(int pos) const { return m_labels[pos]; }
  /// \brief The degrees of freedom of the element at position pos; n receives their number.
  const int* Dofs(int pos, int& n) const {
    const int end = pos + 1 < m_starts.size() ? m_starts[pos + 1] : m_dofs.size();
    n = end - m_starts[pos];
    return m_dofs.data() + m_starts[pos];
  }

 private:
  QORBasVector<int> m_labels;
  QORBasVector<int> m_starts;
  QORBasVector<int> m_dofs;
};
