<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>JoinRequest</name>
    <message>
        <source>%1: the unit offers another key than the one pinned to it; refused to send the key</source>
        <translation>%1：该设备提供的密钥与已固定的密钥不同；已拒绝发送密码</translation>
    </message>
    <message>
        <source>%1: the unit offered a sealed join before; refused to send the key in clear</source>
        <translation>%1：该设备之前提供过加密连接；已拒绝以明文发送密码</translation>
    </message>
    <message>
        <source>Nothing was sent: the network&apos;s name and key are too long for a sealed join, which takes %1 bytes of both at most</source>
        <translation>没有发送任何内容：网络名称和密码太长，无法加密发送（两者合计最多 %1 字节）</translation>
    </message>
    <message>
        <source>The device at %1</source>
        <translation>位于%1的设备</translation>
    </message>
    <message>
        <source>The device at %1 (%2)</source>
        <translation>位于%1（%2）的设备</translation>
    </message>
    <message>
        <source>Nothing was sent: a program of %1 is bound to UDP port %2 on this computer and would receive the join request with the key. Stop it, or send to each device alone with “melvorin-cli join --unicast”</source>
        <translation>没有发送任何内容：%1 的一个程序绑定了本机的 UDP 端口 %2，会收到带有密码的连接请求。请停止该程序，或用“melvorin-cli join --unicast”逐个向设备单独发送</translation>
    </message>
</context>
<context>
    <name>NetworkList</name>
    <message>
        <source>Bytes: %1</source>
        <translation>字节：%1</translation>
    </message>
    <message>
        <source>Also reads as: %1</source>
        <translation>另一种读法：%1</translation>
    </message>
    <message>
        <source>Networks</source>
        <translation>网络列表</translation>
    </message>
</context>
<context>
    <name>StatusLine</name>
    <message>
        <source>sealed</source>
        <translation>已加密</translation>
    </message>
    <message>
        <source>in clear</source>
        <translation>明文</translation>
    </message>
    <message>
        <source>online at %1</source>
        <extracomment>The unit a join went to announced its address on the network it joined.</extracomment>
        <translation>已上线，地址为 %1</translation>
    </message>
    <message>
        <source>Could not send on %1: %2</source>
        <translation>无法从%1发出：%2</translation>
    </message>
    <message>
        <source>No device answered the scan on %1. Is this computer on the device&apos;s network or connected to its access point?</source>
        <translation>没有设备回应在%1上发出的扫描。这台电脑是否连在设备所在的网络或设备的热点上？</translation>
    </message>
    <message>
        <source>The device did not answer the join request for “%1”, sent %2.</source>
        <translation>设备没有回应“%1”的连接请求（%2）。</translation>
    </message>
    <message>
        <source>the default route</source>
        <translation>默认路由</translation>
    </message>
    <message>
        <source>Scan sent on %1; waiting for a device…</source>
        <translation>已在%1上发出扫描，正在等待设备……</translation>
    </message>
    <message>
        <source>an unknown interface</source>
        <translation>未知接口</translation>
    </message>
    <message>
        <source>Join request for “%1” sent %2 on %3; waiting for the device…</source>
        <translation>已在%3上发出“%1”的连接请求（%2），正在等待设备……</translation>
    </message>
    <message>
        <source>A device answered a join request: %1</source>
        <translation>设备回应了连接请求：%1</translation>
    </message>
    <message>
        <source>The device answered the join request for “%1”, sent %2: %3</source>
        <translation>设备回应了“%1”的连接请求（%2）：%3</translation>
    </message>
    <message>
        <source>1 network from the device at %1 on %2.</source>
        <translation>来自设备%1（%2）的1个网络。</translation>
    </message>
    <message>
        <source>%1 networks from the device at %2 on %3.</source>
        <translation>来自设备%2（%3）的%1个网络。</translation>
    </message>
    <message>
        <source>(1 unasked join result ignored)</source>
        <translation>（已忽略1个未请求的连接结果）</translation>
    </message>
    <message>
        <source>(%1 unasked join results ignored)</source>
        <translation>（已忽略%1个未请求的连接结果）</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <extracomment>A unit&apos;s hardware address and its maker: &quot;24:6f:28:00:00:01, Espressif Inc.&quot;</extracomment>
        <translation>%1，%2</translation>
    </message>
    <message>
        <source>1 network from the device at %1 (%2) on %3.</source>
        <translation>来自%3上的设备%1（%2）的1个网络。</translation>
    </message>
    <message>
        <source>%1 networks from the device at %2 (%3) on %4.</source>
        <translation>来自%4上的设备%2（%3）的%1个网络。</translation>
    </message>
    <message>
        <source>A WPA2 network takes a key of 8 to 63 characters, or of 64 hexadecimal digits.</source>
        <translation>WPA2 网络的密码是 8 到 63 个字符，或 64 位十六进制数字。</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Usage: melvorin [--verbose [--show-secrets]] [--help] [--version]
Puts a Wi-Fi device onto a wireless network over UDP broadcast.

  --verbose        write every datagram sent or received, and every error
                   dropped on purpose, to standard error (the same as
                   QT_LOGGING_RULES=melvorin.wire.info=true); the key of a
                   join request is written as its length only
  --show-secrets   write the key&apos;s bytes in that log too
  --help           show this help and exit
  --version        show the version and exit
</source>
        <translation>用法：melvorin [--verbose [--show-secrets]] [--help] [--version]
通过 UDP 广播让 Wi-Fi 设备接入无线网络。

  --verbose        把收发的每个数据报以及每个被有意丢弃的错误写到标准错误
                   （等同于 QT_LOGGING_RULES=melvorin.wire.info=true）；
                   连接请求中的密码只写出其长度
  --show-secrets   在该日志中也写出密码的字节
  --help           显示本帮助并退出
  --version        显示版本并退出
</translation>
    </message>
    <message>
        <source>melvorin: no display to open the window on: set DISPLAY (X11) or WAYLAND_DISPLAY (Wayland); scripts/run --demo needs one too</source>
        <translation>melvorin：没有可以打开窗口的显示：请设置 DISPLAY（X11）或 WAYLAND_DISPLAY（Wayland）；scripts/run --demo 同样需要显示</translation>
    </message>
    <message>
        <source>melvorin: the X display DISPLAY=%1 does not answer: start it or set DISPLAY or WAYLAND_DISPLAY to a running one; scripts/run --demo needs one too</source>
        <translation>melvorin：X 显示 DISPLAY=%1 没有响应：请启动它，或把 DISPLAY 或 WAYLAND_DISPLAY 设为正在运行的显示；scripts/run --demo 同样需要显示</translation>
    </message>
</context>
</TS>
