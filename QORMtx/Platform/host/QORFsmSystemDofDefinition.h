// QORFsmSystemDofDefinition: the solver's numbering of (node, dof) pairs, the part of the dof module exports read.
#pragma once
#include "QORBasVector.h"

/// \brief A node label and a local degree-of-freedom number at that node.
struct QORFsmNodeDof {
  int m_node = 0;
  int m_dof = 0;
};

/// \brief The solver degrees of freedom in solver order, each with its (node, dof) pair.
///
/// The node/dof text export needs only the count and the pair of a solver dof; the table is filled by AddNodeDof.
class QORFsmSystemDofDefinition {
 public:
  /// \brief Appends solver dof number NumSolverDofs() as (node, dof); returns that number.
  int AddNodeDof(int node, int dof) {
    m_nodes.push_back(node);
    m_dofs.push_back(dof);
    return m_nodes.size() - 1;
  }
  /// \brief Number of solver degrees of freedom.
  int NumSolverDofs() const { return m_nodes.size(); }
  /// \brief The (node, dof) pair of solver dof s (0 <= s < NumSolverDofs()).
  QORFsmNodeDof NodeDofFromSolverDof(int s) const {
    QORFsmNodeDof nd;
    nd.m_node = m_nodes[s];
    nd.m_dof = m_dofs[s];
    return nd;
  }

 private:
  QORBasVector<int> m_nodes;
  QORBasVector<int> m_dofs;
};
