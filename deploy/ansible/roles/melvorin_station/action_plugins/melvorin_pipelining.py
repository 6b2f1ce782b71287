# The check before the join: the join's module, the key in its arguments,
# must reach the station through the connection's standard input
# (pipelining). Otherwise Ansible writes it into temporary files on the
# controller and on the station, which an interrupted run leaves behind.
# Run with the join's own settings (the same block), it fails when they do
# not allow that, having sent nothing to the station.

from ansible import constants as C
from ansible.plugins.action import ActionBase


class ActionModule(ActionBase):
    TRANSFERS_FILES = False
    _VALID_ARGS = frozenset()

    def run(self, tmp=None, task_vars=None):
        result = super(ActionModule, self).run(tmp, task_vars)
        result["changed"] = False
        if self._is_pipelining_enabled("new"):
            result["msg"] = "the join's module goes to the station through the connection's standard input"
            return result

        connection = self._connection
        try:
            enabled = connection.get_option("pipelining")
        except (KeyError, AttributeError, ValueError):
            enabled = self._play_context.pipelining
        reasons = []
        if not connection.has_pipelining:
            reasons.append("the connection %s cannot pipeline" % connection.transport)
        elif not (enabled or connection.always_pipeline_modules):
            reasons.append("pipelining is off (ansible_pipelining)")
        if C.DEFAULT_KEEP_REMOTE_FILES:
            reasons.append("Ansible keeps the modules' files (ANSIBLE_KEEP_REMOTE_FILES)")
        if connection.become and connection.become.name == "su":
            reasons.append("the become method is su")
        result["failed"] = True
        result["msg"] = ("Not joining: the key would be written to files on the controller and the station, as %s. "
                         "The join sends it through the connection's standard input only (pipelining)."
                         % ("; ".join(reasons) or "pipelining is not possible here"))
        return result
