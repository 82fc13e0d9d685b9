#pragma once

namespace app {

/// Something that handles commands by id. The main frame asks its targets in routing order: the
/// active view, the frame itself, the document manager, the application object.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    /// With `execute` false: true when this target has an enabled handler for `id` (the menu
    /// entry and toolbar button are enabled then). With `execute` true: runs the handler and
    /// answers true when it had one.
    virtual bool OnCmdMsg(int id, bool execute) = 0;
};

} // namespace app
