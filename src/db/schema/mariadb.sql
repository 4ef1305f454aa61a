-- SPC tables for MariaDB/MySQL. Table names keep their case (the program
-- always writes them as here); columns are read without regard to case.
-- Yes/no columns are small integers (0 = no, 1 = yes) so that "ArchP=0" works.
-- InnoDB for transactions: a card's rows are stored all or none.

CREATE TABLE SPC_Programy (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    NrP integer,
    Lx integer DEFAULT 0,
    ArchP smallint DEFAULT 0,
    ID1 varchar(255),
    ID2 varchar(255),
    ID3 varchar(255),
    ID4 varchar(255),
    ID5 varchar(255),
    ID6 varchar(255),
    ID7 varchar(255),
    ID8 varchar(255),
    ID9 varchar(255),
    ID10 varchar(255),
    CzasP integer
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_Setap (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    IDP integer,
    LP integer,
    Nazwa varchar(255),
    WN double precision,
    Jednostka varchar(255),
    Format varchar(255),
    TypKarty integer,
    Probka integer,
    SkalaSiatki integer,
    Gestosc integer,
    OG double precision,
    OD double precision,
    GL double precision,
    DL double precision,
    Skala integer,
    CzyArch smallint DEFAULT 0,
    GLK double precision,
    DLK double precision,
    LS double precision,
    LR double precision,
    LO double precision,
    MinX double precision,
    MaxX double precision,
    MaxR double precision,
    MaxS double precision
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_Baza (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    IDP integer,
    IDPK integer,
    P varchar(255),
    CzyOb smallint DEFAULT 0,
    Data varchar(10),
    Czas varchar(5),
    ID1 varchar(255),
    ID2 varchar(255),
    ID3 varchar(255),
    ID4 varchar(255),
    ID5 varchar(255),
    ID6 varchar(255),
    ID7 varchar(255),
    ID8 varchar(255),
    ID9 varchar(255),
    ID10 varchar(255),
    ID11 varchar(255),
    ID12 varchar(255),
    ID13 varchar(255),
    ID14 varchar(255),
    ID15 varchar(255),
    ID16 varchar(255),
    ID17 varchar(255),
    ID18 varchar(255),
    ID19 varchar(255),
    ID20 varchar(255),
    IDL1 varchar(255),
    IDL2 varchar(255),
    IDL3 varchar(255),
    IDL4 varchar(255),
    IDL5 varchar(255),
    PomiaryNL varchar(255),
    W1 double precision,
    W2 double precision,
    W3 double precision,
    W4 double precision,
    W5 double precision,
    W6 double precision,
    W7 double precision,
    W8 double precision,
    W9 double precision,
    W10 double precision,
    W11 double precision,
    W12 double precision,
    W13 double precision,
    W14 double precision,
    W15 double precision,
    W16 double precision,
    W17 double precision,
    W18 double precision,
    W19 double precision,
    W20 double precision,
    W21 double precision,
    W22 double precision,
    W23 double precision,
    W24 double precision,
    W25 double precision,
    W26 double precision,
    W27 double precision,
    W28 double precision,
    W29 double precision,
    W30 double precision,
    W31 double precision,
    W32 double precision,
    W33 double precision,
    W34 double precision,
    W35 double precision,
    W36 double precision,
    W37 double precision,
    W38 double precision,
    W39 double precision,
    W40 double precision,
    D1 double precision,
    D2 double precision,
    D3 double precision,
    D4 double precision,
    D5 double precision,
    D6 double precision,
    D7 double precision,
    D8 double precision,
    D9 double precision,
    D10 double precision,
    D11 double precision,
    D12 double precision,
    D13 double precision,
    D14 double precision,
    D15 double precision,
    D16 double precision,
    D17 double precision,
    D18 double precision,
    D19 double precision,
    D20 double precision,
    D21 double precision,
    D22 double precision,
    D23 double precision,
    D24 double precision,
    D25 double precision,
    D26 double precision,
    D27 double precision,
    D28 double precision,
    D29 double precision,
    D30 double precision,
    D31 double precision,
    D32 double precision,
    D33 double precision,
    D34 double precision,
    D35 double precision,
    D36 double precision,
    D37 double precision,
    D38 double precision,
    D39 double precision,
    D40 double precision,
    Srednia double precision,
    Odchylenie double precision,
    Rozstep double precision,
    Dodat double precision,
    Mediana double precision,
    Lp integer,
    Mini double precision,
    Maxi double precision,
    GX double precision,
    DX double precision,
    SX double precision,
    GR double precision,
    DR double precision,
    GS double precision,
    DS double precision,
    IDPrz integer,
    IDRea integer,
    IDNie integer,
    IleNie integer,
    IDNot integer
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE INDEX IX_SPC_Baza_Parametr ON SPC_Baza (IDPK, Data, Czas, ID);

CREATE TABLE SPC_OpisBaz (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255),
    NazwaA varchar(255),
    Pole smallint DEFAULT 0,
    Dlugosc integer
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255),
    NazwaA varchar(255),
    Pole smallint DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

-- One dictionary per descriptive field whose Pole is no.

CREATE TABLE SPC_OpisID1 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID2 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID3 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID4 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID5 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID6 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID7 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID8 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID9 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID10 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID11 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID12 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID13 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID14 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID15 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID16 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID17 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID18 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID19 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_OpisID20 (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    Nazwa varchar(255)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_Ustawienia (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    NazwaOp varchar(255),
    CzyWymagany integer DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

CREATE TABLE SPC_Tablice (
    ID integer AUTO_INCREMENT PRIMARY KEY,
    LP integer,
    R1 double precision,
    R2 double precision,
    S1 double precision,
    S2 double precision,
    R double precision,
    S double precision
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
