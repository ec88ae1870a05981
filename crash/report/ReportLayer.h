// The report layer's start-up: fills the engine's report steps (ReportSteps.h)
// and the slots through which the units of this layer take each other's
// parts, so that every report runs the whole layer. Called once by the
// crash reporter's start-up, before the pipeline can report.
#pragma once

namespace crash {

void RegisterReportLayerSteps();

}  // namespace crash
