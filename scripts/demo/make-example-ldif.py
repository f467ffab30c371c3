#!/usr/bin/env python3
"""Writes example.ldif: the demo directory of a fictional outdoor-gear maker,
Brightwater Outfitters, under dc=example,dc=com (a few hundred entries in
several levels, core/cosine/inetorgperson object classes only).

The output is deterministic; run it again after changing the lists below:
    scripts/demo/make-example-ldif.py > scripts/demo/example.ldif
"""

import random

BASE = "dc=example,dc=com"
rng = random.Random(1907)

GIVEN = ["Aino", "Bram", "Cleo", "Dario", "Edda", "Fenna", "Gus", "Hilde", "Ivo", "Juna", "Kasper", "Liv",
         "Milo", "Nora", "Otto", "Pia", "Quinn", "Rasmus", "Saga", "Timo", "Ula", "Viggo", "Wren", "Xena",
         "Yrjo", "Zelda", "Anton", "Britt", "Caspar", "Dagny"]
FAMILY = ["Ahlgren", "Birchwood", "Calloway", "Dunmore", "Eskola", "Fairbanks", "Grimsby", "Holloway",
          "Ingram", "Juniper", "Kettering", "Lindqvist", "Marwick", "Northcote", "Oakhurst", "Pemberton",
          "Quarry", "Rowntree", "Sandvik", "Thornbury", "Underhill", "Valmont", "Westergaard", "Yardley"]

DEPARTMENTS = {
    "Engineering": ["Platform", "Firmware", "Outdoor Apps"],
    "Design": ["Textiles", "Footwear"],
    "Sales": ["Nordics", "Central Europe", "Online"],
    "Support": [],
    "Finance": [],
    "Operations": ["Warehouse", "Logistics"],
}
SITES = ["Harbourside", "Pinecrest", "Riverbend", "Stonebridge"]

out = []
used_uids = set()


def entry(dn, *lines):
    out.append("dn: " + dn)
    out.extend(lines)
    out.append("")


def person(parent_dn, department, team):
    while True:
        given, family = rng.choice(GIVEN), rng.choice(FAMILY)
        uid = (given[0] + family).lower()
        if uid not in used_uids:
            break
    used_uids.add(uid)
    number = 1000 + len(used_uids)
    title = rng.choice(["Engineer", "Specialist", "Coordinator", "Analyst", "Designer", "Manager", "Lead"])
    dn = "uid=%s,%s" % (uid, parent_dn)
    lines = ["objectClass: inetOrgPerson", "uid: " + uid, "cn: %s %s" % (given, family), "sn: " + family,
             "givenName: " + given, "mail: %s@example.com" % uid,
             "telephoneNumber: +1 555 01%02d %04d" % (len(used_uids) % 100, number),
             "title: %s%s" % (title, (", " + team) if team else ""), "ou: " + department,
             "employeeNumber: %d" % number, "l: " + rng.choice(SITES)]
    if rng.random() < 0.3:
        lines.append("mobile: +1 555 02%02d %04d" % (number % 100, number))
    entry(dn, *lines)
    return dn


entry(BASE, "objectClass: dcObject", "objectClass: organization", "dc: example", "o: Brightwater Outfitters",
      "description: Demo directory of a fictional maker of outdoor gear")
for ou, text in [("People", "Everyone who works here"), ("Groups", "Mailing lists and access groups"),
                 ("Sites", "Offices and warehouses"), ("Devices", "Shared equipment"),
                 ("Roles", "Functional roles"), ("Services", "Internal services")]:
    entry("ou=%s,%s" % (ou, BASE), "objectClass: organizationalUnit", "ou: " + ou, "description: " + text)

people_by_department = {}
for department, teams in DEPARTMENTS.items():
    dep_dn = "ou=%s,ou=People,%s" % (department, BASE)
    entry(dep_dn, "objectClass: organizationalUnit", "ou: " + department)
    members = []
    if teams:
        for team in teams:
            team_dn = "ou=%s,%s" % (team, dep_dn)
            entry(team_dn, "objectClass: organizationalUnit", "ou: " + team,
                  "description: %s team of %s" % (team, department))
            for _ in range(rng.randint(14, 22)):
                members.append(person(team_dn, department, team))
    else:
        for _ in range(rng.randint(18, 26)):
            members.append(person(dep_dn, department, None))
    people_by_department[department] = members

everyone = [dn for members in people_by_department.values() for dn in members]

for department, members in people_by_department.items():
    entry("cn=%s,ou=Groups,%s" % (department.lower(), BASE), "objectClass: groupOfNames",
          "cn: " + department.lower(), "description: Everyone in " + department,
          *["member: " + dn for dn in members])
for name, size in [("hiking-club", 17), ("climbing-wall", 9), ("first-aid", 12), ("vpn-users", 40),
                   ("release-managers", 5), ("fika", 25)]:
    entry("cn=%s,ou=Groups,%s" % (name, BASE), "objectClass: groupOfNames", "cn: " + name,
          *["member: " + dn for dn in sorted(rng.sample(everyone, size))])

for site in SITES:
    site_dn = "l=%s,ou=Sites,%s" % (site, BASE)
    entry(site_dn, "objectClass: locality", "l: " + site, "street: %d Cedar Lane" % rng.randint(2, 250),
          "description: %s office" % site)
    for room in range(1, rng.randint(4, 7)):
        entry("cn=Room %s %d,%s" % (site[:3].upper(), room, site_dn), "objectClass: device",
              "cn: Room %s %d" % (site[:3].upper(), room), "description: Meeting room")

for i in range(1, 41):
    kind = rng.choice(["printer", "plotter", "scanner", "label-printer", "projector"])
    cn = "%s-%02d" % (kind, i)
    entry("cn=%s,ou=Devices,%s" % (cn, BASE), "objectClass: device", "cn: " + cn,
          "serialNumber: BW-%06d" % rng.randint(0, 999999), "l: " + rng.choice(SITES),
          "owner: " + rng.choice(everyone))

for role in ["Safety Officer", "Data Protection Officer", "Fire Warden", "Mentor Coordinator",
             "Travel Desk", "Reception", "Sustainability Lead"]:
    entry("cn=%s,ou=Roles,%s" % (role, BASE), "objectClass: organizationalRole", "cn: " + role,
          "roleOccupant: " + rng.choice(everyone), "telephoneNumber: +1 555 0100 %04d" % rng.randint(0, 9999))

for service in ["intranet", "wiki", "ticketing", "build-farm", "mail-relay", "inventory"]:
    entry("cn=%s,ou=Services,%s" % (service, BASE), "objectClass: applicationProcess", "cn: " + service,
          "description: The %s service" % service, "l: " + rng.choice(SITES))

print("\n".join(out))
