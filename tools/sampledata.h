#pragma once

class TmvlabDm;

namespace mv {
// A few categories and documents so a new user sees how things look.
void fillSampleData(TmvlabDm &dm);
} // namespace mv
