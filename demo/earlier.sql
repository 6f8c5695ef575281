-- What the demo machine's earlier installation has gathered in its database:
-- the upgrade keeps this file as DorvaneBKUP.mdb beside the new blank one.
INSERT INTO Company (CompanyName, Address, City, Phone)
  VALUES ('Korrimel Demo Bakery', '12 Harbour Lane', 'Port Elsey', '555-0142');

INSERT INTO Goals (Title, TargetDate, Done) VALUES ('Open a second shop', '9/1/2026', 0);
INSERT INTO Goals (Title, TargetDate, Done) VALUES ('Hire two bakers', '6/1/2026', 1);

UPDATE Status SET StatusValue = '1.9.4', StatusDate = '5/2/2019'
  WHERE StatusDescription = 'SchemaVersion';
INSERT INTO Status (StatusDescription, StatusDate, StatusValue)
  VALUES ('UserName', '5/2/2019', 'Demo User');
