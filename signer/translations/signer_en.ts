<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Signer</name>
    <message>
        <source>下载任务:      </source>
        <translation>Downloading:      </translation>
    </message>
    <message>
        <source>主管签审</source>
        <translation>Supervisor Sign-off</translation>
    </message>
    <message>
        <source>阅读上一个签审任务
上个</source>
        <translation>Read the previous task
Previous</translation>
    </message>
    <message>
        <source>阅读下一个签审任务
下个</source>
        <translation>Read the next task
Next</translation>
    </message>
    <message>
        <source>同意发送该邮件
签发</source>
        <translation>Approve the message for sending
Approve</translation>
    </message>
    <message>
        <source>退回
退回</source>
        <translation>Return the message to its sender
Return</translation>
    </message>
    <message>
        <source>打开现有文档
阅读</source>
        <translation>Open the selected task
Read</translation>
    </message>
    <message>
        <source>从服务器上获取签审任务
刷新</source>
        <translation>Fetch the tasks from the server
Refresh</translation>
    </message>
    <message>
        <source>显示签发和退回的记录，最新的在前
决定记录</source>
        <translation>Show the approvals and returns, newest first
Decisions</translation>
    </message>
    <message>
        <source>更换登录的用户、服务器或端口
登录</source>
        <translation>Change the user, server or ports of the login
Log in</translation>
    </message>
    <message>
        <source>就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter a whole number.</translation>
    </message>
    <message>
        <source>显示程序信息、版本号和版权
关于</source>
        <translation>Show the program&apos;s information, version and copyright
About</translation>
    </message>
    <message>
        <source>退出应用程序；提示保存文档
退出</source>
        <translation>Quit the application
Exit</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>阅读(&amp;R)...	Enter</source>
        <translation>&amp;Read...	Enter</translation>
    </message>
    <message>
        <source>签发(&amp;A)...</source>
        <translation>&amp;Approve...</translation>
    </message>
    <message>
        <source>退回(&amp;B)...</source>
        <translation>Ret&amp;urn...</translation>
    </message>
    <message>
        <source>下一个(&amp;N)</source>
        <translation>&amp;Next</translation>
    </message>
    <message>
        <source>上一个(&amp;P)</source>
        <translation>&amp;Previous</translation>
    </message>
    <message>
        <source>刷新(&amp;R)	F5</source>
        <translation>Re&amp;fresh	F5</translation>
    </message>
    <message>
        <source>登录(&amp;L)...</source>
        <translation>&amp;Log in...</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>视图切换(&amp;S)	Ctrl+\</source>
        <translation>&amp;Switch view	Ctrl+\</translation>
    </message>
    <message>
        <source>决定记录(&amp;D)	Ctrl+D</source>
        <translation>&amp;Decisions	Ctrl+D</translation>
    </message>
    <message>
        <source>关于 Signer(&amp;A)...</source>
        <translation>&amp;About Signer...</translation>
    </message>
    <message>
        <source>登录</source>
        <translation>Log in</translation>
    </message>
    <message>
        <source>用户名：</source>
        <translation>User name:</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>服务器：</source>
        <translation>Server:</translation>
    </message>
    <message>
        <source>POP3端口:</source>
        <translation>POP3 port:</translation>
    </message>
    <message>
        <source>SMTP端口:</source>
        <translation>SMTP port:</translation>
    </message>
    <message>
        <source>服务器要求身份验证</source>
        <translation>The server requires authentication</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>关于 Signer</source>
        <translation>About Signer</translation>
    </message>
    <message>
        <source>Signer %1 版</source>
        <translation>Signer version %1</translation>
    </message>
    <message>
        <source>退回原因</source>
        <translation>Reason for returning</translation>
    </message>
    <message>
        <source>保存签审后的任务到发送队列时出错</source>
        <translation>Could not put the decided task into the send queue</translation>
    </message>
    <message>
        <source>连接安全:</source>
        <translation>Connection security:</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>下载任务失败.</source>
        <translation>Downloading the task failed.</translation>
    </message>
    <message>
        <source>登录到服务器失败。</source>
        <translation>Logging in to the server failed. </translation>
    </message>
    <message>
        <source>获取信箱信息失败。</source>
        <translation>Reading the mailbox status failed. </translation>
    </message>
    <message>
        <source>接收邮件失败。</source>
        <translation>Receiving the message failed. </translation>
    </message>
    <message>
        <source>获得邮件存盘序列号错误</source>
        <translation>Could not get a number to save the message under</translation>
    </message>
    <message>
        <source>提交任务失败.</source>
        <translation>Submitting the tasks failed.</translation>
    </message>
    <message>
        <source>发送任务失败。</source>
        <translation>Sending the task failed. </translation>
    </message>
    <message>
        <source>附件</source>
        <translation>Attachment</translation>
    </message>
    <message>
        <source>发件人:</source>
        <translation>From:</translation>
    </message>
    <message>
        <source>收件人:</source>
        <translation>To:</translation>
    </message>
    <message>
        <source>抄送:</source>
        <translation>Cc:</translation>
    </message>
    <message>
        <source>主题:</source>
        <translation>Subject:</translation>
    </message>
    <message>
        <source>日期:</source>
        <translation>Date:</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>保存附件(&amp;S)...</source>
        <translation>&amp;Save attachment...</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>保存附件</source>
        <translation>Save attachment</translation>
    </message>
    <message>
        <source>%1 已存在。要替换它吗?</source>
        <translation>%1 already exists. Do you want to replace it?</translation>
    </message>
    <message>
        <source>阅读</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>无法读取这封邮件。</source>
        <translation>This message cannot be read.</translation>
    </message>
    <message>
        <source>%1 - 阅读</source>
        <translation>%1 - Read</translation>
    </message>
    <message>
        <source>%1 字节</source>
        <translation>%1 bytes</translation>
    </message>
    <message>
        <source>无法保存到 %1。</source>
        <translation>Could not save to %1.</translation>
    </message>
    <message>
        <source>签发</source>
        <translation>Approved</translation>
    </message>
    <message>
        <source>退回</source>
        <translation>Returned</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>决定</source>
        <translation>Decision</translation>
    </message>
    <message>
        <source>发送人</source>
        <translation>From</translation>
    </message>
    <message>
        <source>主题</source>
        <translation>Subject</translation>
    </message>
    <message>
        <source>原因</source>
        <translation>Reason</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>接收人</source>
        <translation>To</translation>
    </message>
    <message>
        <source>入队时间</source>
        <translation>Queued</translation>
    </message>
    <message>
        <source>任务编号</source>
        <translation>Task</translation>
    </message>
    <message>
        <source>待发</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>重发</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>到达时间</source>
        <translation>Arrived</translation>
    </message>
    <message>
        <source>CA证书文件:</source>
        <translation>CA file:</translation>
    </message>
    <message>
        <source>证书指纹(SHA-256):</source>
        <translation>Certificate pin (SHA-256):</translation>
    </message>
    <message>
        <source>指纹为64位十六进制数字，可用冒号分隔；填写指纹后只比对指纹，不再检查证书颁发机构。</source>
        <translation>The pin is 64 hexadecimal digits, colons allowed; with a pin only the fingerprint is compared, not the certificate authority.</translation>
    </message>
    <message>
        <source>浏览...</source>
        <translation>Browse...</translation>
    </message>
    <message>
        <source>公司证书颁发机构的PEM文件；系统信任的证书颁发机构照常有效。</source>
        <translation>A PEM file of the company&apos;s certificate authority; the authorities the system trusts still count.</translation>
    </message>
    <message>
        <source>输入的内容不能包含换行符。</source>
        <translation>The entries cannot hold line breaks.</translation>
    </message>
    <message>
        <source>无法读取CA证书文件%1。</source>
        <translation>The CA file %1 cannot be read.</translation>
    </message>
    <message>
        <source>证书指纹应为64位十六进制数字(SHA-256)，可用冒号分隔。</source>
        <translation>The certificate pin must be 64 hexadecimal digits (SHA-256); colons may separate them.</translation>
    </message>
    <message>
        <source>选择CA证书文件</source>
        <translation>Choose the CA file</translation>
    </message>
    <message>
        <source>证书 (*.pem *.crt *.cer);;所有文件 (*)</source>
        <translation>Certificates (*.pem *.crt *.cer);;All files (*)</translation>
    </message>
    <message>
        <source>签发(&amp;A)</source>
        <translation>&amp;Approve</translation>
    </message>
    <message>
        <source>退回(&amp;B)</source>
        <translation>Ret&amp;urn</translation>
    </message>
    <message>
        <source>等待</source>
        <translation>Waited</translation>
    </message>
    <message>
        <source>刚到</source>
        <translation>just now</translation>
    </message>
    <message>
        <source>%1 分钟</source>
        <translation>%1 min</translation>
    </message>
    <message>
        <source>%1 小时</source>
        <translation>%1 h</translation>
    </message>
    <message>
        <source>%1 天</source>
        <translation>%1 d</translation>
    </message>
    <message>
        <source>%1 待审</source>
        <translation>%1 to sign off</translation>
    </message>
    <message>
        <source>%1 封新邮件待审</source>
        <translation>%1 new messages to sign off</translation>
    </message>
    <message>
        <source>共 %1 个任务等待签审</source>
        <translation>%1 tasks are waiting in all</translation>
    </message>
    <message>
        <source>把列出的决定记录导出为CSV文件
导出</source>
        <translation>Export the decisions listed to a CSV file
Export</translation>
    </message>
    <message>
        <source>按发送人、接收人或主题查找
查找</source>
        <translation>Find by sender, recipients or subject
Find</translation>
    </message>
    <message>
        <source>导出决定记录(&amp;E)...</source>
        <translation>&amp;Export Decisions...</translation>
    </message>
    <message>
        <source>查找(&amp;F)	Ctrl+F</source>
        <translation>&amp;Find	Ctrl+F</translation>
    </message>
    <message>
        <source>无法写入文件%1。</source>
        <translation>Cannot write the file %1.</translation>
    </message>
    <message>
        <source>确实要签发选中的 %1 个任务吗？</source>
        <translation>Approve the %1 selected tasks?</translation>
    </message>
    <message>
        <source>确实要退回选中的 %1 个任务吗？</source>
        <translation>Return the %1 selected tasks?</translation>
    </message>
    <message>
        <source>退回选中的 %1 个任务</source>
        <translation>Return the %1 selected tasks</translation>
    </message>
    <message>
        <source>退回：%1</source>
        <translation>Return: %1</translation>
    </message>
    <message>
        <source>签审人</source>
        <translation>Approver</translation>
    </message>
</context>
</TS>
