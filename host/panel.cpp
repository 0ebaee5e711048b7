// The control panel: it records where each control was placed.
#include "contract/host_api.h"

CPanel::~CPanel() = default;

void CPanel::place_widget(CWidget* control, int column, int row, int a, int b)
{
    placements_.push_back(Placement{control, column, row, a, b});
}
