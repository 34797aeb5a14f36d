/* The master data of the demonstration (demo-data.sql) in the form SQL Server
   Management Studio writes with Tasks, Generate Scripts (schema and data,
   existence checks for schemas): an example of the export an administrator
   brings. It loads into SQL Server with sqlcmd -i and into the test database
   with dulmar-sqlrun, tsql or isql, as testdb/README.md describes. */
USE [attendance]
GO
/****** Object:  Schema [KVSYSTEM]    Script Date: 09.12.2026 06:00:00 ******/
IF NOT EXISTS (SELECT * FROM sys.schemas WHERE name = N'KVSYSTEM')
EXEC('CREATE SCHEMA [KVSYSTEM]')
GO
/****** Object:  Table [KVSYSTEM].[Kvs112Mnd]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [KVSYSTEM].[Kvs112Mnd](
	[MndLiz] [int] NOT NULL,
	[MndNum] [int] NOT NULL,
	[MndKon] [smallint] NOT NULL,
	[MndSch] [varchar](20) NOT NULL,
	[MndBez] [varchar](40) NULL,
 CONSTRAINT [PK_Kvs112Mnd] PRIMARY KEY CLUSTERED 
(
	[MndLiz] ASC,
	[MndNum] ASC,
	[MndKon] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
GO
/****** Object:  Table [KVSYSTEM].[Kvs301Asw]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [KVSYSTEM].[Kvs301Asw](
	[AswNum] [varchar](13) NOT NULL,
	[AswGVo] [datetime] NOT NULL,
	[AswGbi] [datetime] NULL,
	[AswPnr] [char](8) NOT NULL,
	[AswLiz] [varchar](7) NOT NULL,
	[AswMnd] [varchar](10) NOT NULL,
 CONSTRAINT [PK_Kvs301Asw] PRIMARY KEY CLUSTERED 
(
	[AswNum] ASC,
	[AswGVo] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
GO
/****** Object:  Table [dbo].[O1003KSTSTELLE]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [dbo].[O1003KSTSTELLE](
	[KstApz] [varchar](7) NOT NULL,
	[KstNum] [varchar](20) NOT NULL,
	[KstBez] [varchar](40) NULL,
 CONSTRAINT [PK_O1003KSTSTELLE] PRIMARY KEY CLUSTERED 
(
	[KstApz] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
GO
/****** Object:  Table [KVSYSTEM].[Kvs102Whl]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [KVSYSTEM].[Kvs102Whl](
	[FtxNumSpr] [smallint] NOT NULL,
	[FtxWhl] [int] NOT NULL,
	[FtxSpr] [smallint] NOT NULL,
	[FtxDok] [varchar](500) NOT NULL,
 CONSTRAINT [PK_Kvs102Whl] PRIMARY KEY CLUSTERED 
(
	[FtxNumSpr] ASC,
	[FtxWhl] ASC,
	[FtxSpr] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
GO
/****** Object:  Table [dbo].[KVS321BCH]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [dbo].[KVS321BCH](
	[BchPnr] [char](8) NOT NULL,
	[BchVon] [datetime] NOT NULL,
	[BchUhr] [datetime] NOT NULL,
	[BchFkt] [smallint] NOT NULL,
	[BchFcd] [varchar](32) NOT NULL,
	[BchKst] [varchar](30) NOT NULL,
 CONSTRAINT [PK_KVS321BCH] PRIMARY KEY CLUSTERED 
(
	[BchPnr] ASC,
	[BchVon] ASC,
	[BchUhr] ASC,
	[BchFkt] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
) ON [PRIMARY]
GO
/****** Object:  Table [KVSYSTEM].[Kvs001Log]    Script Date: 09.12.2026 06:00:00 ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
CREATE TABLE [KVSYSTEM].[Kvs001Log](
	[LogPrg] [varchar](30) NOT NULL,
	[LogStz] [char](14) NOT NULL,
	[LogPrm] [varchar](150) NOT NULL,
	[LogSch] [varchar](20) NOT NULL,
	[LogPnr] [varchar](10) NOT NULL,
	[LogDtm] [datetime] NULL,
	[LogMod] [varchar](10) NOT NULL,
	[LogFkt] [varchar](50) NOT NULL,
	[LogTErr] [int] NOT NULL,
	[LogTTxt] [varchar](256) NOT NULL,
	[LogSErr] [int] NOT NULL,
	[LogSTxt] [varchar](256) NOT NULL,
	[LogMsg] [varchar](256) NOT NULL,
	[LogTyp] [smallint] NOT NULL,
	[LogDat] [datetime] NOT NULL
) ON [PRIMARY]
GO
INSERT [KVSYSTEM].[Kvs112Mnd] ([MndLiz], [MndNum], [MndKon], [MndSch], [MndBez]) VALUES (1, 1, 0, N'MUSTER', N'Muster GmbH')
INSERT [KVSYSTEM].[Kvs112Mnd] ([MndLiz], [MndNum], [MndKon], [MndSch], [MndBez]) VALUES (1, 2, 1, N'ALT', N'Altmandant')
GO
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100001', CAST(N'2006-01-01T00:00:00.000' AS DateTime), NULL, N'00001001', N'1', N'1')
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100002', CAST(N'2005-04-01T00:00:00.000' AS DateTime), CAST(N'2006-12-31T00:00:00.000' AS DateTime), N'00001002', N'1', N'1')
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100002', CAST(N'2007-01-01T00:00:00.000' AS DateTime), NULL, N'00001003', N'1', N'1')
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100004', CAST(N'2006-06-01T00:00:00.000' AS DateTime), CAST(N'2007-01-31T00:00:00.000' AS DateTime), N'00001004', N'1', N'1')
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100005', CAST(N'2007-03-01T00:00:00.000' AS DateTime), NULL, N'00001005', N'1', N'1')
INSERT [KVSYSTEM].[Kvs301Asw] ([AswNum], [AswGVo], [AswGbi], [AswPnr], [AswLiz], [AswMnd]) VALUES (N'0000100006', CAST(N'2006-01-01T00:00:00.000' AS DateTime), NULL, N'00002001', N'1', N'2')
GO
INSERT [dbo].[O1003KSTSTELLE] ([KstApz], [KstNum], [KstBez]) VALUES (N'7', N'4100', N'Wareneingang')
INSERT [dbo].[O1003KSTSTELLE] ([KstApz], [KstNum], [KstBez]) VALUES (N'42', N'4200', N'Montage Halle 2')
INSERT [dbo].[O1003KSTSTELLE] ([KstApz], [KstNum], [KstBez]) VALUES (N'123', N'4300-QS', N'Qualitaetssicherung')
INSERT [dbo].[O1003KSTSTELLE] ([KstApz], [KstNum], [KstBez]) VALUES (N'1001', N'9000', N'Verwaltung')
GO
INSERT [KVSYSTEM].[Kvs102Whl] ([FtxNumSpr], [FtxWhl], [FtxSpr], [FtxDok]) VALUES (8, 1065, 1, N'Fehler beim Schreiben der Buchung in Kvs321Bch')
INSERT [KVSYSTEM].[Kvs102Whl] ([FtxNumSpr], [FtxWhl], [FtxSpr], [FtxDok]) VALUES (8, 1066, 1, N'Ausweis nicht gefunden')
INSERT [KVSYSTEM].[Kvs102Whl] ([FtxNumSpr], [FtxWhl], [FtxSpr], [FtxDok]) VALUES (8, 1065, 2, N'Error writing the booking to Kvs321Bch')
GO
/****** Object:  Index [IX_Kvs001Log_LogStz]    Script Date: 09.12.2026 06:00:00 ******/
CREATE NONCLUSTERED INDEX [IX_Kvs001Log_LogStz] ON [KVSYSTEM].[Kvs001Log]
(
	[LogStz] ASC,
	[LogDat] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, SORT_IN_TEMPDB = OFF, DROP_EXISTING = OFF, ONLINE = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON, OPTIMIZE_FOR_SEQUENTIAL_KEY = OFF) ON [PRIMARY]
GO
ALTER TABLE [KVSYSTEM].[Kvs112Mnd] ADD  CONSTRAINT [DF_Kvs112Mnd_MndKon]  DEFAULT ((0)) FOR [MndKon]
GO
ALTER TABLE [KVSYSTEM].[Kvs001Log] ADD  CONSTRAINT [DF_Kvs001Log_LogDat]  DEFAULT (getdate()) FOR [LogDat]
GO
ALTER TABLE [KVSYSTEM].[Kvs301Asw]  WITH CHECK ADD  CONSTRAINT [CK_Kvs301Asw_AswGbi] CHECK  (([AswGbi] IS NULL OR [AswGbi]>=[AswGVo]))
GO
ALTER TABLE [KVSYSTEM].[Kvs301Asw] CHECK CONSTRAINT [CK_Kvs301Asw_AswGbi]
GO
ALTER TABLE [dbo].[KVS321BCH]  WITH CHECK ADD  CONSTRAINT [CK_KVS321BCH_BchKst] CHECK  (([BchKst]<>''))
GO
ALTER TABLE [dbo].[KVS321BCH] CHECK CONSTRAINT [CK_KVS321BCH_BchKst]
GO
ALTER TABLE [dbo].[KVS321BCH]  WITH CHECK ADD  CONSTRAINT [CK_KVS321BCH_BchPnr] CHECK  (([BchPnr]<>''))
GO
ALTER TABLE [dbo].[KVS321BCH] CHECK CONSTRAINT [CK_KVS321BCH_BchPnr]
GO
