<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AppsPage</name>
    <message>
        <source>应用与输入</source>
        <translation>Apps &amp; Inputs</translation>
    </message>
    <message>
        <source>启动电视应用或切换输入源</source>
        <translation>Launch TV apps or switch inputs</translation>
    </message>
    <message>
        <source>应用</source>
        <translation>Apps</translation>
    </message>
    <message>
        <source>输入源</source>
        <translation>Inputs</translation>
    </message>
    <message>
        <source>连接电视后显示应用</source>
        <translation>Connect a TV to see its apps</translation>
    </message>
    <message>
        <source>正在读取应用列表…</source>
        <translation>Loading the app list…</translation>
    </message>
    <message>
        <source>搜索应用</source>
        <translation>Search apps</translation>
    </message>
    <message>
        <source>当前输入</source>
        <translation>Current input</translation>
    </message>
    <message>
        <source>正在使用</source>
        <translation>In use</translation>
    </message>
    <message>
        <source>电视没有返回应用列表</source>
        <translation>The TV did not send its app list</translation>
    </message>
    <message>
        <source>重新读取</source>
        <translation>Try again</translation>
    </message>
</context>
<context>
    <name>ConnectionState</name>
    <message>
        <source>等待配对</source>
        <translation>Awaiting pairing</translation>
    </message>
    <message>
        <source>连接失败</source>
        <translation>Connection failed</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>连接中</source>
        <translation>Connecting</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>唤醒中</source>
        <translation>Waking</translation>
    </message>
</context>
<context>
    <name>DeviceRow</name>
    <message>
        <source>删除此电视</source>
        <translation>Remove this TV</translation>
    </message>
</context>
<context>
    <name>DevicesPage</name>
    <message>
        <source>设备管理</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>在同一网络中发现并管理您的 LG 电视</source>
        <translation>Find and manage LG TVs on your network</translation>
    </message>
    <message>
        <source>添加电视</source>
        <translation>Add TV</translation>
    </message>
    <message>
        <source>发现的电视</source>
        <translation>Discovered TVs</translation>
    </message>
    <message>
        <source>手动输入 IP</source>
        <translation>Enter IP manually</translation>
    </message>
    <message>
        <source>例如 192.168.1.105</source>
        <translation>e.g. 192.168.1.105</translation>
    </message>
    <message>
        <source>添加并连接</source>
        <translation>Add and connect</translation>
    </message>
    <message>
        <source>输入电视上的 PIN</source>
        <translation>Enter the PIN shown on the TV</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Submit</translation>
    </message>
    <message>
        <source>使用 PIN 配对</source>
        <translation>Pair with PIN</translation>
    </message>
    <message>
        <source>配对后可自动重新连接</source>
        <translation>Reconnects automatically once paired</translation>
    </message>
</context>
<context>
    <name>MonitorMode</name>
    <message>
        <source>登录后启动</source>
        <translation>Started at login</translation>
    </message>
    <message>
        <source>显示器模式已开启</source>
        <translation>Monitor mode turned on</translation>
    </message>
    <message>
        <source>显示器模式已关闭</source>
        <translation>Monitor mode turned off</translation>
    </message>
    <message>
        <source>显示器模式：</source>
        <translation>Monitor mode: </translation>
    </message>
    <message>
        <source>电视未连接</source>
        <translation>the TV is not connected</translation>
    </message>
    <message>
        <source>电视已待机</source>
        <translation>the TV is in standby</translation>
    </message>
    <message>
        <source>未选择电脑所在输入</source>
        <translation>no input chosen for the computer</translation>
    </message>
    <message>
        <source>电视正在显示「%1」，不是电脑所在的「%2」</source>
        <translation>the TV shows &quot;%1&quot;, not the computer&apos;s &quot;%2&quot;</translation>
    </message>
    <message>
        <source>电视的输入列表中没有「%1」</source>
        <translation>the TV lists no input &quot;%1&quot;</translation>
    </message>
    <message>
        <source>系统即将关机</source>
        <translation>Shutting down</translation>
    </message>
    <message>
        <source>系统即将休眠</source>
        <translation>Going to sleep</translation>
    </message>
    <message>
        <source>，未设置关闭电视</source>
        <translation>; turning the TV off is not set</translation>
    </message>
    <message>
        <source>，不关闭电视：</source>
        <translation>; TV left on: </translation>
    </message>
    <message>
        <source>，已发送关闭电视，电视 %1 秒内未应答，不再等待</source>
        <translation>; power off sent, the TV did not answer within %1 s, no longer waiting</translation>
    </message>
    <message>
        <source>，关闭电视失败：</source>
        <translation>; turning the TV off failed: </translation>
    </message>
    <message>
        <source>，已关闭电视</source>
        <translation>; TV turned off</translation>
    </message>
    <message>
        <source>系统已唤醒</source>
        <translation>Resumed</translation>
    </message>
    <message>
        <source>，未选择电视</source>
        <translation>; no TV chosen</translation>
    </message>
    <message>
        <source>，网络 %1 秒内未就绪，仍尝试唤醒电视</source>
        <translation>; the network was not ready within %1 s, waking the TV anyway</translation>
    </message>
    <message>
        <source>，电视已开着，不切换输入：</source>
        <translation>; the TV is already on, input left as is: </translation>
    </message>
    <message>
        <source>，电视已开着并显示电脑所在输入</source>
        <translation>; the TV is already on and shows the computer&apos;s input</translation>
    </message>
    <message>
        <source>，唤醒电视</source>
        <translation>; waking the TV</translation>
    </message>
    <message>
        <source>，电视未能连接，未切换输入：</source>
        <translation>; the TV did not connect, input not switched: </translation>
    </message>
    <message>
        <source>，电视已唤醒；未选择电脑所在输入，不切换输入</source>
        <translation>; TV woken; no input chosen for the computer, input not switched</translation>
    </message>
    <message>
        <source>，电视已唤醒，切换到「%1」失败：</source>
        <translation>; TV woken, switching to &quot;%1&quot; failed: </translation>
    </message>
    <message>
        <source>，电视已唤醒并切换到电脑所在输入「%1」</source>
        <translation>; TV woken and switched to the computer&apos;s input &quot;%1&quot;</translation>
    </message>
    <message>
        <source>屏幕已关闭</source>
        <translation>Screen blanked</translation>
    </message>
    <message>
        <source>屏幕已恢复</source>
        <translation>Screen back</translation>
    </message>
    <message>
        <source>，未设置关闭电视画面</source>
        <translation>; turning the TV picture off is not set</translation>
    </message>
    <message>
        <source>，不关闭电视画面：</source>
        <translation>; TV picture left on: </translation>
    </message>
    <message>
        <source>，电视画面不是本程序关闭的，不打开</source>
        <translation>; the TV picture was not turned off by this app, left as is</translation>
    </message>
    <message>
        <source>，不打开电视画面：电视未连接</source>
        <translation>; TV picture not turned on: the TV is not connected</translation>
    </message>
    <message>
        <source>，已打开电视画面</source>
        <translation>; TV picture turned on</translation>
    </message>
    <message>
        <source>，已关闭电视画面</source>
        <translation>; TV picture turned off</translation>
    </message>
    <message>
        <source>，打开电视画面失败：</source>
        <translation>; turning the TV picture on failed: </translation>
    </message>
    <message>
        <source>，关闭电视画面失败：</source>
        <translation>; turning the TV picture off failed: </translation>
    </message>
</context>
<context>
    <name>PageLogic</name>
    <message>
        <source>选择电视</source>
        <translation>Choose TV</translation>
    </message>
    <message>
        <source>电视拒绝了连接</source>
        <translation>The TV refused the connection</translation>
    </message>
    <message>
        <source>无法访问电视所在的网络</source>
        <translation>The TV&apos;s network is unreachable</translation>
    </message>
    <message>
        <source>连接电视超时</source>
        <translation>Connecting to the TV timed out</translation>
    </message>
    <message>
        <source>电视关闭了连接</source>
        <translation>The TV closed the connection</translation>
    </message>
    <message>
        <source>TLS 握手失败</source>
        <translation>TLS handshake failed</translation>
    </message>
    <message>
        <source>未连接电视</source>
        <translation>No TV connected</translation>
    </message>
    <message>
        <source>电视响应超时</source>
        <translation>The TV did not answer in time</translation>
    </message>
    <message>
        <source>待机</source>
        <translation>Standby</translation>
    </message>
    <message>
        <source>局域网连接</source>
        <translation>LAN connection</translation>
    </message>
    <message>
        <source>未选择电视</source>
        <translation>No TV selected</translation>
    </message>
    <message>
        <source>关机</source>
        <translation>Power off</translation>
    </message>
    <message>
        <source>网络唤醒 (WOL)</source>
        <translation>Wake on LAN (WOL)</translation>
    </message>
    <message>
        <source>取消静音</source>
        <translation>Unmute</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Mute</translation>
    </message>
    <message>
        <source>电视拒绝了遥控输入：%1。仍可使用音量、静音、频道、播放控制、应用、输入源和文字。</source>
        <translation>The TV refused remote input: %1. Volume, mute, channels, playback, apps, inputs and text still work.</translation>
    </message>
    <message>
        <source>已连接</source>
        <translation>Connected</translation>
    </message>
    <message>
        <source>未连接</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>已配对，点击连接即可直接控制</source>
        <translation>Paired: click Connect to control it</translation>
    </message>
    <message>
        <source>点击连接后，请在电视上确认配对请求</source>
        <translation>After clicking Connect, accept the pairing request on the TV</translation>
    </message>
    <message>
        <source>正在连接 %1…</source>
        <translation>Connecting to %1…</translation>
    </message>
    <message>
        <source>请输入电视屏幕上显示的 PIN 码</source>
        <translation>Enter the PIN shown on the TV screen</translation>
    </message>
    <message>
        <source>请在电视上确认配对请求</source>
        <translation>Accept the pairing request on the TV</translation>
    </message>
    <message>
        <source>已连接，可以开始遥控</source>
        <translation>Connected: ready to control</translation>
    </message>
    <message>
        <source>已发送网络唤醒，等待电视上线…</source>
        <translation>Wake on LAN sent, waiting for the TV…</translation>
    </message>
    <message>
        <source>重新发送配对请求</source>
        <translation>Resend pairing request</translation>
    </message>
    <message>
        <source>断开连接</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>连接电视</source>
        <translation>Connect TV</translation>
    </message>
    <message>
        <source>连接%1</source>
        <translation>Connect %1</translation>
    </message>
    <message>
        <source>已配对</source>
        <translation>Paired</translation>
    </message>
    <message>
        <source>正在搜索同一网络中的设备…</source>
        <translation>Searching your network…</translation>
    </message>
    <message>
        <source>搜索同一网络中的设备</source>
        <translation>Search your network</translation>
    </message>
    <message>
        <source>搜索中…</source>
        <translation>Searching…</translation>
    </message>
    <message>
        <source>未发现电视，可点击雷达重新搜索或手动输入 IP</source>
        <translation>No TV found: click the radar to search again or enter an IP</translation>
    </message>
    <message>
        <source>未配对</source>
        <translation>Not paired</translation>
    </message>
    <message>
        <source>运行中</source>
        <translation>Running</translation>
    </message>
    <message>
        <source>已停止</source>
        <translation>Stopped</translation>
    </message>
    <message>
        <source>电视待机中，请先唤醒</source>
        <translation>The TV is in standby: wake it first</translation>
    </message>
    <message>
        <source>正在连接电视，请稍候</source>
        <translation>Connecting to the TV, please wait</translation>
    </message>
    <message>
        <source>未连接电视，请先在设备管理中连接</source>
        <translation>No TV connected: connect one under Devices</translation>
    </message>
    <message>
        <source>IP 地址应为四组 0–255 的数字，例如 192.168.1.105</source>
        <translation>An IP address is four numbers from 0 to 255, e.g. 192.168.1.105</translation>
    </message>
    <message>
        <source>MAC 地址应为 6 组两位十六进制数，例如 aa:bb:cc:dd:ee:ff</source>
        <translation>A MAC address is 6 pairs of hex digits, e.g. aa:bb:cc:dd:ee:ff</translation>
    </message>
</context>
<context>
    <name>Radar</name>
    <message>
        <source>雷达</source>
        <translation>Radar</translation>
    </message>
</context>
<context>
    <name>RemotePage</name>
    <message>
        <source>遥控器</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>方向键 / 回车 / Esc 可直接控制</source>
        <translation>Arrow keys / Enter / Esc control the TV</translation>
    </message>
    <message>
        <source>上</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>下</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>左</source>
        <translation>Left</translation>
    </message>
    <message>
        <source>右</source>
        <translation>Right</translation>
    </message>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>主页</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>菜单</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>触控板</source>
        <translation>Touchpad</translation>
    </message>
    <message>
        <source>拖动移动 · 点击确认 · 双指滚动</source>
        <translation>Drag to move · click to select · two fingers to scroll</translation>
    </message>
    <message>
        <source>向电视输入文字</source>
        <translation>Type text for the TV</translation>
    </message>
    <message>
        <source>发送文字</source>
        <translation>Send text</translation>
    </message>
</context>
<context>
    <name>SettingsPage</name>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>电视连接、外观与 MCP 服务</source>
        <translation>TV connection, appearance and MCP service</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>IP 地址</source>
        <translation>IP address</translation>
    </message>
    <message>
        <source>网卡 MAC</source>
        <translation>MAC</translation>
    </message>
    <message>
        <source>配对状态</source>
        <translation>Pairing</translation>
    </message>
    <message>
        <source>电视名称</source>
        <translation>TV name</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>网络唤醒 (WOL)</source>
        <translation>Wake on LAN (WOL)</translation>
    </message>
    <message>
        <source>删除此电视</source>
        <translation>Remove this TV</translation>
    </message>
    <message>
        <source>显示器模式</source>
        <translation>Monitor mode</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>Enable</translation>
    </message>
    <message>
        <source>电视作为这台电脑的屏幕：休眠时关闭、唤醒后打开并切换到电脑所在输入。电视正在显示其他输入时不做任何操作。窗口关闭后程序留在托盘中，并随登录启动。</source>
        <translation>The TV as this computer&apos;s screen: off when it sleeps, on and switched to the computer&apos;s input when it wakes. Nothing happens while the TV shows another input. Closing the window keeps the app in the tray, and it starts at login.</translation>
    </message>
    <message>
        <source>电脑所在输入</source>
        <translation>Computer&apos;s input</translation>
    </message>
    <message>
        <source>连接电视后可选择</source>
        <translation>Available once a TV is connected</translation>
    </message>
    <message>
        <source>休眠/关机时关闭电视</source>
        <translation>Turn the TV off on sleep/shutdown</translation>
    </message>
    <message>
        <source>屏幕关闭时关闭电视画面</source>
        <translation>Turn the TV screen off with the display</translation>
    </message>
    <message>
        <source>外观</source>
        <translation>Appearance</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>System</translation>
    </message>
    <message>
        <source>浅色</source>
        <translation>Light</translation>
    </message>
    <message>
        <source>深色</source>
        <translation>Dark</translation>
    </message>
    <message>
        <source>语言跟随系统设置。</source>
        <translation>The language follows the system settings.</translation>
    </message>
    <message>
        <source>MCP 服务</source>
        <translation>MCP service</translation>
    </message>
    <message>
        <source>让 AI Agent 通过 Model Context Protocol 控制电视。服务仅监听本机。</source>
        <translation>Lets an AI agent control the TV through the Model Context Protocol. The service listens on this machine only.</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>地址</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>已复制</source>
        <translation>Copied</translation>
    </message>
    <message>
        <source>复制 HTTP 配置</source>
        <translation>Copy HTTP config</translation>
    </message>
    <message>
        <source>复制 stdio 配置</source>
        <translation>Copy stdio config</translation>
    </message>
    <message>
        <source>日志：</source>
        <translation>Log: </translation>
    </message>
    <message>
        <source>在文件管理器中显示</source>
        <translation>Show in file manager</translation>
    </message>
    <message>
        <source>报告电视问题时附上记录文件；配对密钥、PIN 和输入的文字不会记入。</source>
        <translation>Attach the recording when reporting a TV problem; pairing keys, PINs and typed text are not recorded.</translation>
    </message>
    <message>
        <source>记录通信（诊断）</source>
        <translation>Record traffic (diagnostics)</translation>
    </message>
    <message>
        <source>记录文件：</source>
        <translation>Recording: </translation>
    </message>
    <message>
        <source>已保存</source>
        <translation>Saved</translation>
    </message>
    <message>
        <source>删除此电视？</source>
        <translation>Remove this TV?</translation>
    </message>
    <message>
        <source>此电视已配对。删除后再次连接时，需要在电视上重新确认配对。</source>
        <translation>This TV is paired. After removing it, connecting again needs a new confirmation on the TV.</translation>
    </message>
</context>
<context>
    <name>Sidebar</name>
    <message>
        <source>遥控器</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>应用与输入</source>
        <translation>Apps &amp; Inputs</translation>
    </message>
    <message>
        <source>设备管理</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
</context>
<context>
    <name>StepIndicator</name>
    <message>
        <source>发现设备</source>
        <translation>Discover</translation>
    </message>
    <message>
        <source>电视确认</source>
        <translation>Confirm on TV</translation>
    </message>
    <message>
        <source>连接完成</source>
        <translation>Connected</translation>
    </message>
</context>
<context>
    <name>TVDevice</name>
    <message>
        <source>LG 电视</source>
        <translation>LG TV</translation>
    </message>
</context>
<context>
    <name>TVSession</name>
    <message>
        <source>主页</source>
        <translation>Home</translation>
    </message>
    <message>
        <source>电视直播</source>
        <translation>Live TV</translation>
    </message>
    <message>
        <source>屏幕保护</source>
        <translation>Screen saver</translation>
    </message>
    <message>
        <source>电视已更换，请重新连接并配对</source>
        <translation>The TV was replaced: connect and pair again</translation>
    </message>
    <message>
        <source>电视要求重新配对，请重新连接</source>
        <translation>The TV asks to pair again: connect again</translation>
    </message>
    <message>
        <source>电视证书已变化，请删除后重新配对</source>
        <translation>The TV&apos;s certificate changed: remove the TV and pair again</translation>
    </message>
    <message>
        <source>未记录电视 MAC，无法网络唤醒</source>
        <translation>No MAC address saved for this TV: cannot wake it over the network</translation>
    </message>
    <message>
        <source>唤醒超时，请确认电视已开启网络唤醒</source>
        <translation>Waking timed out: check that Wake on LAN is on in the TV</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>显示窗口</source>
        <translation>Show window</translation>
    </message>
    <message>
        <source>音量 +</source>
        <translation>Volume +</translation>
    </message>
    <message>
        <source>音量 −</source>
        <translation>Volume −</translation>
    </message>
    <message>
        <source>关闭电视画面</source>
        <translation>Turn TV screen off</translation>
    </message>
    <message>
        <source>电源</source>
        <translation>Power</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>电视：</source>
        <translation>TV: </translation>
    </message>
    <message>
        <source>待机</source>
        <translation>Standby</translation>
    </message>
    <message>
        <source>取消静音</source>
        <translation>Unmute</translation>
    </message>
    <message>
        <source>静音</source>
        <translation>Mute</translation>
    </message>
</context>
</TS>
