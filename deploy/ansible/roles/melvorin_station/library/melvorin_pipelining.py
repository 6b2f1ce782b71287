# The description of the action melvorin_pipelining, which runs on the
# controller only (action_plugins/melvorin_pipelining.py).

DOCUMENTATION = r"""
module: melvorin_pipelining
short_description: Fail unless the next module of the same settings would be pipelined
description:
  - Fails, without connecting to the host, unless a module run with this task's connection, become
    and variables would reach the host through the connection's standard input (pipelining), so that
    no file on the controller or the host holds its arguments. It tells why not (pipelining off, the
    become method su, ANSIBLE_KEEP_REMOTE_FILES).
options: {}
author: The Melvorin developers
"""
