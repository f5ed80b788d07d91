// Host-test fixture helpers.
#include "tests/host/TestMachine.h"

namespace bv::test {

std::vector<std::vector<std::wstring>> TestMachine::Rows() const {
    std::vector<std::vector<std::wstring>> rows;
    for (const RowRef& ref : state.results.recorded) {
        const Issue& issue = state.results.groups[ref.group].rows[ref.row];
        rows.push_back(
            {CategoryCaption(issue.category), issue.keyText, issue.valueText, issue.exclusionText});
    }
    return rows;
}

}  // namespace bv::test
