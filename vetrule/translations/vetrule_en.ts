<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>vetrule</name>
    <message>
        <source>关于 Ledra签审设置工具</source>
        <translation>About Ledra Sign-off Setup</translation>
    </message>
    <message>
        <source>Ledra签审设置工具 %1 版</source>
        <translation>Ledra Sign-off Setup %1</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>打开配置文件%1失败.(error code:%2),请把这个程序复制到MDaemon的App目录下，比如c:\MDaemon\App</source>
        <translation>Could not open the rule file %1 (error code: %2). Copy this program into MDaemon&apos;s App folder, for example c:\MDaemon\App</translation>
    </message>
    <message>
        <source>保存配置文件%1失败.(error code:%2),规则文件未作改动</source>
        <translation>Could not save the rule file %1 (error code: %2); the rule file was not changed</translation>
    </message>
    <message>
        <source>用户选择</source>
        <translation>Select users</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>无法进入目录 %1：它不存在或不可访问。</source>
        <translation>Cannot enter the folder %1: it does not exist or cannot be opened.</translation>
    </message>
    <message>
        <source>Ledra签审设置工具</source>
        <translation>Ledra Sign-off Setup</translation>
    </message>
    <message>
        <source>关于 vetrule(&amp;A)...</source>
        <translation>&amp;About vetrule...</translation>
    </message>
    <message>
        <source>主管列表</source>
        <translation>Supervisors</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>用户列表</source>
        <translation>Users</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>保存到规则文件</source>
        <translation>Save rules</translation>
    </message>
    <message>
        <source>找不到邮件服务器的用户目录%1。请在邮件服务器的App目录下运行这个程序，或用--directory指定该目录。</source>
        <translation>The mail server's Users folder %1 does not exist. Run this program in the mail server's App folder, or name that folder with --directory.</translation>
    </message>
    <message>
        <source>用户目录%1中没有邮箱文件夹。</source>
        <translation>The Users folder %1 holds no mailbox folders.</translation>
    </message>
    <message>
        <source>用户目录%1中的邮箱都已在列表中。</source>
        <translation>Every mailbox of the Users folder %1 is in the list already.</translation>
    </message>
</context>
</TS>
